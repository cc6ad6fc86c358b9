#pragma once

#include <QCoreApplication>
#include <QList>

class QMenu;
class QWidget;

// The Help menu's boxes. They are window-modal but do not block: automation calls keep being
// served while one is open.
class THelpBoxes
{
    Q_DECLARE_TR_FUNCTIONS(THelpBoxes)
public:
    // An information box named `objectName`, deleted when it closes.
    static void showInformation(QWidget *parent, const QString &objectName, const QString &title,
                                const QString &text);
    // Every key of the actions in `menus`, listed from the actions themselves so that the list
    // cannot disagree with the menus, and the keys of the table and the chart.
    static void showKeyboardShortcuts(QWidget *parent, const QList<QMenu *> &menus);
    // Version, the log file in use and the licence.
    static void showAbout(QWidget *parent, const QString &logFilePath);
    // The licence paragraph the build was given, translated when it is the usual one.
    static QString licenceSentence();
};
