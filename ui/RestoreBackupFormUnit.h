#pragma once

#include "BackupStore.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

// Lists the backups of the log, newest first, with their date and number of charges, and lets
// the user choose one to restore.
class TRestoreBackupForm : public QDialog
{
    Q_OBJECT
public:
    explicit TRestoreBackupForm(const QList<TBackupInfo> &backups, QWidget *parent = nullptr);

    // The backup chosen, or an empty text.
    QString chosenPath() const;

    QTreeWidget *BackupsTreeWidget = nullptr;
    QPushButton *RestoreBitBtn = nullptr;
    QPushButton *CancelBitBtn = nullptr;

    // "2026-12-09 (start of the day)" and the like.
    static QString describe(const TBackupInfo &backup);
};
