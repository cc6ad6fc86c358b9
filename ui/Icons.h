#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, drawn at run time so that no binary artwork has to be kept.
// The icons are 16 x 16; QIcon greys them itself for the disabled state.
namespace QorLogIcons {

QIcon addCharge();
QIcon deleteSelection();
QIcon filter();
QIcon retain();
QIcon remove();
QIcon chargerLog();           // a curve over axes: a charger's own log
QIcon application();          // window icon
QPixmap applicationPicture(); // 128 x 150, the splash picture

} // namespace QorLogIcons
