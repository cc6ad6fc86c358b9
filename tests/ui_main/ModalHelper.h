#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs `act` on the next modal widget once it is showing (polling for up to five seconds),
// so a test can answer a message box or dialog that the code under test opens with exec().
inline void whenModal(std::function<void(QWidget *)> act, QWidget *previous = nullptr)
{
    auto *timer = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act, previous] {
        QWidget *modal = QApplication::activeModalWidget();
        if ((modal && modal != previous && modal->isVisible()) || clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            if (modal && modal != previous)
                act(modal);
        }
    });
    timer->start();
}

// Deletes every open charge data dialog. Deleting a dialog deletes its own top-level children
// (popups) too, so the list is taken as guarded pointers first.
template <typename Form> void deleteOpenForms()
{
    QList<QPointer<QWidget>> forms;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<Form *>(w))
            forms.append(w);
    for (const QPointer<QWidget> &w : forms)
        delete w.data();
}
