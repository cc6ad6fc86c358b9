#pragma once

#include <QList>
#include <QString>

#include <utility>

class QMessageBox;
class QPushButton;
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

// Adds buttons (caption, object name) in the order given, the last one answering Escape and
// Enter: buttons of one role keep the order they are added in, where standard buttons would
// be rearranged by the desktop's button layout.
QList<QPushButton *> addButtonsInOrder(QMessageBox &box,
                                       const QList<std::pair<QString, QString>> &captionsAndNames);

// A notice that does not stop the work: a box of its own per `name` among the children of
// `parent`, shown without taking the focus; a later notice of the same name replaces the text.
void showNotice(QWidget *parent, const QString &name, const QString &text);

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
