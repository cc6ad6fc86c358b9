#include "RestoreBackupFormUnit.h"

#include "LogFile.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int PathRole = Qt::UserRole;

// The number of charges a backup holds; an empty text when it cannot be read completely.
QString chargesIn(const QString &path)
{
    TChargeLog log;
    try {
        LogFile::LoadChargeLog(path, log);
    } catch (const QorLogError &) {
        return TRestoreBackupForm::tr("damaged");
    }
    return QLocale().toString(log.ChargeStringList.count());
}

} // namespace

QString TRestoreBackupForm::describe(const TBackupInfo &backup)
{
    const QString date = backup.Taken.date().toString(QStringLiteral("yyyy-MM-dd"));
    const QString time = backup.Taken.time().toString(QStringLiteral("HH:mm:ss"));
    switch (backup.Type) {
    case TBackupInfo::Kind::BeforePurge:
        return tr("%1 %2, before the purge").arg(date, time);
    case TBackupInfo::Kind::BeforeRestore:
        return tr("%1 %2, before a restore").arg(date, time);
    case TBackupInfo::Kind::Damaged:
        return tr("%1 %2, a log that could not be read completely").arg(date, time);
    case TBackupInfo::Kind::ConflictCopy:
        return tr("%1 %2, a conflict copy of a sync tool, merged").arg(date, time);
    case TBackupInfo::Kind::BeforeMerge:
        return tr("%1 %2, before a merge kept another version of a charge").arg(date, time);
    case TBackupInfo::Kind::Daily:
        break;
    }
    return tr("%1, before the day's first change").arg(date);
}

TRestoreBackupForm::TRestoreBackupForm(const QList<TBackupInfo> &backups, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("RestoreBackupForm"));
    setWindowTitle(tr("Restore Backup"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(
        backups.isEmpty() ? tr("There are no backups of the log yet.")
                          : tr("Choose the backup that replaces the log. The log as it is now is "
                               "kept as a backup first, and Undo takes the restore back."),
        this);
    label->setWordWrap(true);
    layout->addWidget(label);

    BackupsTreeWidget = new QTreeWidget(this);
    BackupsTreeWidget->setObjectName(QStringLiteral("BackupsTreeWidget"));
    BackupsTreeWidget->setAccessibleName(tr("Backups"));
    label->setBuddy(BackupsTreeWidget);
    BackupsTreeWidget->setRootIsDecorated(false);
    BackupsTreeWidget->setHeaderLabels({tr("Backup"), tr("Charges")});
    // The description takes the room; the count only what it needs (the last column would
    // otherwise stretch too and cut the descriptions short).
    BackupsTreeWidget->header()->setStretchLastSection(false);
    BackupsTreeWidget->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    BackupsTreeWidget->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    for (const TBackupInfo &backup : backups) {
        auto *item =
            new QTreeWidgetItem(BackupsTreeWidget, {describe(backup), chargesIn(backup.Path)});
        item->setData(0, PathRole, backup.Path);
        item->setToolTip(0, backup.Path);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    layout->addWidget(BackupsTreeWidget);

    auto *buttons = new QDialogButtonBox(this);
    RestoreBitBtn = buttons->addButton(tr("Restore"), QDialogButtonBox::AcceptRole);
    RestoreBitBtn->setObjectName(QStringLiteral("RestoreBitBtn"));
    CancelBitBtn = buttons->addButton(QDialogButtonBox::Cancel);
    CancelBitBtn->setObjectName(QStringLiteral("CancelBitBtn"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(BackupsTreeWidget, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    const auto update = [this] { RestoreBitBtn->setEnabled(!chosenPath().isEmpty()); };
    connect(BackupsTreeWidget, &QTreeWidget::currentItemChanged, this, update);
    if (BackupsTreeWidget->topLevelItemCount() > 0)
        BackupsTreeWidget->setCurrentItem(BackupsTreeWidget->topLevelItem(0));
    update();
    // Wide enough for the longest description, within reason.
    int widest = 0;
    for (int i = 0; i < BackupsTreeWidget->topLevelItemCount(); ++i)
        widest = qMax(widest, BackupsTreeWidget->fontMetrics().horizontalAdvance(
                                  BackupsTreeWidget->topLevelItem(i)->text(0)));
    const int columns = widest + 16 + BackupsTreeWidget->header()->sectionSizeHint(1) +
                        2 * BackupsTreeWidget->frameWidth();
    const QMargins margins = layout->contentsMargins();
    resize(qBound(420, columns + margins.left() + margins.right() + 24, 800), 300);
}

QString TRestoreBackupForm::chosenPath() const
{
    const QTreeWidgetItem *item = BackupsTreeWidget->currentItem();
    return item ? item->data(0, PathRole).toString() : QString();
}
