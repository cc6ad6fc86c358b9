#pragma once

#include <QList>
#include <QString>

class QSplitter;
class QWidget;

// Windows that keep their size, position and splitter positions from one run to the next, per
// user (QSettings, ~/.config/qorlog/qorlog.conf). A first start shows each window at the size it
// was designed for. The program switches this on at start (setEnabled); tests leave it off or
// point QSettings at a folder of their own.
namespace WindowGeometry {

void setEnabled(bool enabled);
bool isEnabled();

// Restores what was saved for `key` (when anything was) and saves it again whenever the window
// is hidden or closed. A saved place that lies on no screen any more is not taken: the window
// keeps the window system's place.
void remember(QWidget *window, const QString &key, const QList<QSplitter *> &splitters = {});

// Escape and Ctrl+W close the window (a window of its own that is not a dialog).
void closeWithKeys(QWidget *window);

} // namespace WindowGeometry
