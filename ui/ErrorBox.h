#pragma once

#include <QString>

class QWidget;

namespace ErrorBox {

// The one place where failures reach the user: a beep, then a box with the caption "Error",
// an error icon, the message and an OK button.
void show(const QString &message, QWidget *parent = nullptr);

// Runs `work` and hands any failure it throws to show(). Use at every entry from Qt into our
// code (slots, event handlers), so that no exception crosses the event loop.
template <typename Work> bool guard(Work &&work, QWidget *parent = nullptr);

void showCurrentException(QWidget *parent);

} // namespace ErrorBox

template <typename Work> bool ErrorBox::guard(Work &&work, QWidget *parent)
{
    try {
        work();
        return true;
    } catch (...) {
        showCurrentException(parent);
        return false;
    }
}
