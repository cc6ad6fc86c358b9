#pragma once

#include <QString>

class QWidget;

namespace ErrorBox {

// The one place where failures reach the user: a beep, then a box with the caption "Error",
// an error icon, the message and an OK button.
void show(const QString &message, QWidget *parent = nullptr);

// The same box without the beep, for the charge data dialog's own checks of what was typed.
void showCheckFailure(const QString &message, QWidget *parent);

// Runs `work` and hands any failure it throws to show(). Use at every entry from Qt into our
// code (slots, event handlers), so that no exception crosses the event loop.
template <typename Work> bool guard(Work &&work, QWidget *parent = nullptr);

void showCurrentException(QWidget *parent);

// Makes a box or dialog modal to its parent's window only, so that the other windows (a charge
// data dialog opened meanwhile, above all) keep taking input, and keeps it above the charge
// data dialogs, which stay on top. Call before it is shown.
void makeWindowModal(QWidget *dialog);

// How many beeps the error boxes have sounded in this run.
int beepCount();

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
