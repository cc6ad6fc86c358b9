#include "ChargeDataFormUnit.h"
#include "ChargeIdentity.h"
#include "ChargeLogDocument.h"
#include "ChargeLogTableModel.h"
#include "ConflictCopies.h"
#include "LogFile.h"
#include "LogFileIdentity.h"
#include "ModalHelper.h"
#include "QorLogMainFormUnit.h"
#include "RestoreBackupFormUnit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUndoStack>
#include <QtTest>

#include <memory>

// The main window with another program changing its log file underneath.
class TestMainGuard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;

    QString logPath() const { return m_dir->filePath(QStringLiteral("test.QorLog")); }
    TQorLogMainForm *openForm()
    {
        m_form = std::make_unique<TQorLogMainForm>(logPath());
        m_form->FormCreate();
        m_form->logFileGuard()->setSettleInterval(20);
        // Replacements are compared with the file as known, as in a big log.
        m_form->logFileGuard()->setHoldFilesFrom(0);
        return m_form.get();
    }
    static void add(TChargeLog &log, double when, const QString &battery)
    {
        log.StoreChargeRecord(-1, when, QStringLiteral("PSU"), QStringLiteral("QorA1"), battery,
                              1.0, 1.0, QStringLiteral("Normal"), QString(), QString());
    }
    // Writes the log as another program would: the nine fields only, a new file renamed over
    // the old one.
    void writeAsOtherProgram(const QStringList &batteries)
    {
        TChargeLog log;
        for (int i = 0; i < batteries.size(); ++i) {
            add(log, 100 + i, batteries.at(i));
            log.ChargeStringList.setIdentity(i, QUuid(), 0);
        }
        LogFile::SaveChargeLog(logPath(), log);
    }
    static QStringList batteries(const TChargeLog &log)
    {
        QStringList names;
        for (int i = 0; i < log.ChargeStringList.count(); ++i)
            names << log.BatteriesStringList.name(log.ChargeStringList.record(i).BatteryIndex);
        names.sort();
        return names;
    }
    QStringList batteriesOnDisk() const
    {
        TChargeLog log;
        LogFile::LoadChargeLog(logPath(), log);
        return batteries(log);
    }
    QString notice(const char *name) const
    {
        auto *box = m_form->findChild<QMessageBox *>(QLatin1String(name));
        return box && box->isVisible() ? box->text() : QString();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        writeAsOtherProgram({QStringLiteral("A"), QStringLiteral("B")});
    }
    void cleanup()
    {
        deleteOpenForms<TChargeDataForm>();
        m_form.reset();
        m_dir.reset();
    }

    void replacedThenChargeAddedKeepsBoth()
    {
        TQorLogMainForm *form = openForm();
        writeAsOtherProgram({QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("D")});
        // Added before the watch had time to report: the save finds the change itself.
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        const QStringList expected{"A", "C", "D", "M"};
        QCOMPARE(batteries(form->log()), expected);
        QCOMPARE(batteriesOnDisk(), expected);
        QCOMPARE(form->tableModel()->rowCount(), 4);
        QCOMPARE(notice("OutsideChangeNoticeBox"),
                 QStringLiteral("2 charges added and 1 removed by another program"));
        // The window-closing save keeps them too.
        form->show();
        QVERIFY(form->close());
        QCOMPARE(batteriesOnDisk(), expected);
    }

    // Another program's change that this QorLog only takes leaves the file as that program
    // wrote it, unless the file lacks what the log adds to it (ids); later saves go on as ever.
    void mergeOfTheirsAloneLeavesTheFile_data()
    {
        QTest::addColumn<bool>("withIds");
        QTest::newRow("a file with ids") << true;
        QTest::newRow("a file without ids") << false;
    }
    void mergeOfTheirsAloneLeavesTheFile()
    {
        QFETCH(bool, withIds);
        TQorLogMainForm *form = openForm();
        form->HandleAddCharge(150, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        TChargeLog other;
        LogFile::LoadChargeLog(logPath(), other);
        add(other, 300, QStringLiteral("N"));
        if (!withIds)
            for (int i = 0; i < other.ChargeStringList.count(); ++i)
                other.ChargeStringList.setIdentity(i, QUuid(), 0);
        LogFile::SaveChargeLog(logPath(), other);
        const TLogFileIdentity written = TLogFileIdentity::ofPath(logPath());
        form->document()->takeOutsideChange();
        QCoreApplication::processEvents(); // the file is looked at in the turn after
        const QStringList expected{"A", "B", "M", "N"};
        QCOMPARE(batteries(form->log()), expected);
        QCOMPARE(TLogFileIdentity::ofPath(logPath()) == written, withIds);
        // The next save copies every charge from the file as it stands.
        const TChargeLog &log = form->log();
        QVERIFY(log.LastWritten.Identity == TLogFileIdentity::ofPath(logPath()));
        for (int i = 0; i < log.ChargeStringList.count(); ++i)
            QCOMPARE(log.ChargeStringList.at(i).Written.Generation, log.LastWritten.Generation);
        TChargeLog onDisk;
        LogFile::LoadChargeLog(logPath(), onDisk);
        QVERIFY(onDisk.holdsTheSameAs(form->log()));
        // The next change is saved whole, and so is its undo.
        form->HandleAddCharge(400, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("P"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M", "N", "P"}));
        form->undoStack()->undo();
        form->undoStack()->undo();
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M"}));
        TChargeLog undone;
        LogFile::LoadChargeLog(logPath(), undone);
        QVERIFY(undone.holdsTheSameAs(form->log()));
    }

    void outsideRemovalIsUndoneCompletely_data()
    {
        QTest::addColumn<bool>("duringTheSave");
        QTest::newRow("found before the change") << false;
        QTest::newRow("found by the save itself") << true;
    }
    void outsideRemovalIsUndoneCompletely()
    {
        QFETCH(bool, duringTheSave);
        TQorLogMainForm *form = openForm();
        form->logFileGuard()->setSettleInterval(60000); // the watch does not get there first
        const QStringList original{"A", "B"};
        const auto emptyTheLog = [this] { writeAsOtherProgram({}); };
        bool emptied = false;
        if (duringTheSave) // in the moment between the save's look at the file and its rename
            form->logFileGuard()->setBeforeCommitHook([&] {
                if (!std::exchange(emptied, true))
                    emptyTheLog();
            });
        else
            emptyTheLog();
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        QCOMPARE(batteriesOnDisk(), QStringList{"M"});
        QCOMPARE(form->undoStack()->count(), 2);
        form->undoStack()->undo();
        form->undoStack()->undo();
        QCOMPARE(batteries(form->log()), original);
        QCOMPARE(batteriesOnDisk(), original);
        form->undoStack()->redo();
        form->undoStack()->redo();
        QCOMPARE(batteriesOnDisk(), QStringList{"M"});
    }

    // An undo whose save finds another QorLog's change merges it against the log as that save
    // replaces it: the charge undone stays undone, the other's comes in.
    void outsideChangeFoundByAnUndo()
    {
        TQorLogMainForm *form = openForm();
        form->logFileGuard()->setSettleInterval(60000);
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M"}));
        bool added = false;
        form->logFileGuard()->setBeforeCommitHook([&] {
            if (std::exchange(added, true))
                return;
            TChargeLog other;
            LogFile::LoadChargeLog(logPath(), other);
            add(other, 300, QStringLiteral("Z"));
            LogFile::SaveChargeLog(logPath(), other);
        });
        form->undoStack()->undo();
        QVERIFY(added);
        QCOMPARE(batteries(form->log()), (QStringList{"A", "B", "Z"}));
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "Z"}));
    }

    // A sync tool's conflict copy: what it adds is one undo step, and the copy is put away.
    // While a save writes the file, the window's timers run; a change asked for meanwhile is
    // refused untouched, and what another program writes meanwhile is merged before the file
    // is put in place.
    void windowGoesOnWhileTheLogIsWritten()
    {
        TQorLogMainForm *form = openForm();
        TChargeLogDocument *document = form->document();
        form->logFileGuard()->setBeforeCommitHook([] { QThread::msleep(200); });
        int ticks = 0;
        QString refused;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, [&] {
            if (!document->isWriting() || ticks++ > 0)
                return;
            writeAsOtherProgram({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("Z")});
            try {
                document->storeCharge(-1, 300, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                      QStringLiteral("N"), 1, 1, QStringLiteral("Normal"),
                                      QString(), QString());
            } catch (const QorLogError &error) {
                refused = error.message();
            }
        });
        timer.start();
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks))); // 400 ms of writing
        QCOMPARE(refused, QStringLiteral("QorLog is still saving the log; nothing was changed. "
                                         "Try again in a moment."));
        const QStringList expected{"A", "B", "M", "Z"};
        QCOMPARE(batteries(form->log()), expected);
        QCOMPARE(batteriesOnDisk(), expected);
        QCOMPARE(form->undoStack()->count(), 2); // theirs, then the charge added
    }

    void conflictCopyIsMergedAsOneStep()
    {
        writeAsOtherProgram({QStringLiteral("A"), QStringLiteral("B")});
        {
            // Another desktop's QorLog took up the same log and added a charge.
            TChargeLog copy;
            LogFile::LoadChargeLog(logPath(), copy);
            ChargeIdentity::assignMissing(copy);
            add(copy, 300, QStringLiteral("Z"));
            LogFile::SaveChargeLog(m_dir->filePath(QStringLiteral("test (conflicted copy "
                                                                  "2026-12-01).QorLog")),
                                   copy);
        }
        TQorLogMainForm *form = openForm();
        QCOMPARE(batteries(form->log()), (QStringList{"A", "B", "Z"}));
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "Z"}));
        QCOMPARE(ConflictCopies::find(logPath()), QStringList());
        QVERIFY2(notice("ConflictCopyNoticeBox").startsWith(QStringLiteral("1 charge merged")),
                 qPrintable(notice("ConflictCopyNoticeBox")));
        form->undoStack()->undo();
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B"}));
    }

    // A sync tool's conflict copy from the other desktop, made while the two were apart: it
    // brings exactly what was done there, and a copy from a desktop that did nothing changes
    // nothing, whatever was done here meanwhile.
    void conflictCopyBringsWhatTheOtherSideDid_data()
    {
        QTest::addColumn<QString>("there"); // what the other desktop did
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("told");
        QTest::newRow("nothing") << "" << QStringList{"A 1.65", "M 1", "N 1"} << false;
        QTest::newRow("deleted") << "delete M" << QStringList{"A 1.65", "N 1"} << true;
        QTest::newRow("edited") << "edit M" << QStringList{"A 1.65", "M 2", "N 1"} << true;
        QTest::newRow("added") << "add Z" << QStringList{"A 1.65", "M 1", "N 1", "Z 1"} << true;
    }
    void conflictCopyBringsWhatTheOtherSideDid()
    {
        QFETCH(QString, there);
        TQorLogMainForm *form = openForm();
        for (const char *battery : {"M", "N"}) // N: the latest charge, left alone
            form->HandleAddCharge(battery[0] == 'M' ? 200 : 210, QStringLiteral("PSU"), false,
                                  QStringLiteral("QorA1"), QString::fromLatin1(battery), 1, 1,
                                  QStringLiteral("Normal"), QString(), QString(), false);
        // The other desktop's copy of the log as both had it.
        TChargeLog copy;
        LogFile::LoadChargeLog(logPath(), copy);
        // Here: B deleted, A edited (1 -> 1.65 Ah), after the two parted.
        const auto keyOf = [form](const QString &battery) {
            const TChargeLog &log = form->log();
            for (int i = 0; i < log.ChargeStringList.count(); ++i)
                if (log.BatteriesStringList.name(log.ChargeStringList.record(i).BatteryIndex) ==
                    battery)
                    return log.ChargeStringList.record(i).Key;
            return 0;
        };
        QTest::qWait(5); // the edits here are later than the copy's charges
        form->document()->deleteCharges({keyOf(QStringLiteral("B"))});
        form->AddChargeRecord(keyOf(QStringLiteral("A")), 100, QStringLiteral("PSU"),
                              QStringLiteral("QorA1"), QStringLiteral("A"), 1, 1.65,
                              QStringLiteral("Normal"), QString(), QString());
        m_form.reset();
        // There, later still.
        QTest::qWait(5);
        const TChargeList &charges = copy.ChargeStringList;
        const int m = charges.count() - 2; // M, before N
        if (there == QLatin1String("delete M")) {
            copy.Deleted.insert(charges.at(m).Id, ChargeIdentity::nowUtc());
            copy.ChargeStringList.removeAt(m);
        } else if (there == QLatin1String("edit M")) {
            copy.StoreChargeRecord(charges.record(m).Key, 200, QStringLiteral("PSU"),
                                   QStringLiteral("QorA1"), QStringLiteral("M"), 1, 2,
                                   QStringLiteral("Normal"), QString(), QString());
        } else if (there == QLatin1String("add Z")) {
            add(copy, 300, QStringLiteral("Z"));
        }
        LogFile::SaveChargeLog(
            m_dir->filePath(QStringLiteral("test.sync-conflict-20261201-101500-ABCDEFG.QorLog")),
            copy);

        form = openForm();
        QStringList found;
        const TChargeLog &log = form->log();
        for (int i = 0; i < log.ChargeStringList.count(); ++i)
            found << log.BatteriesStringList.name(log.ChargeStringList.record(i).BatteryIndex) +
                         QLatin1Char(' ') +
                         QString::number(log.ChargeStringList.record(i).AmpHours);
        found.sort();
        QTEST(found, "expected");
        QCOMPARE(ConflictCopies::find(logPath()), QStringList());
        QFETCH(bool, told);
        QCOMPARE(!notice("ConflictCopyNoticeBox").isEmpty(), told);
        // Nothing was done to one charge on both sides.
        QVERIFY2(!notice("ConflictCopyNoticeBox").contains(QStringLiteral("Charge of")),
                 qPrintable(notice("ConflictCopyNoticeBox")));
    }

    void watchRefreshesTableOncePerChange()
    {
        TQorLogMainForm *form = openForm();
        writeAsOtherProgram({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        QTRY_COMPARE(form->tableModel()->rowCount(), 3);
        QCOMPARE(notice("OutsideChangeNoticeBox"),
                 QStringLiteral("1 charge added by another program"));
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "C"}));
        auto *box = form->findChild<QMessageBox *>(QStringLiteral("OutsideChangeNoticeBox"));
        box->close();
        // Our own save that follows is no outside change: no new notice.
        QTest::qWait(100);
        QVERIFY(notice("OutsideChangeNoticeBox").isEmpty());
        // A deleted file is written again at the next save, with nothing lost.
        QVERIFY(QFile::remove(logPath()));
        QTest::qWait(100);
        QCOMPARE(form->tableModel()->rowCount(), 3);
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "C", "M"}));
    }

    void changeWhileChargeDataFormIsOpen()
    {
        TQorLogMainForm *form = openForm();
        const qint32 keyOfB = form->tableModel()->keyAt(1);
        form->OpenChargeDataForm(keyOfB);
        TChargeDataForm *dialog = TChargeDataForm::openForms().value(0);
        QVERIFY(dialog);
        writeAsOtherProgram({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        QTRY_COMPARE(form->tableModel()->rowCount(), 3);
        // The record being edited kept its key through the merge: the edit lands on it.
        dialog->BatteriesComboBox->setEditText(QStringLiteral("B2"));
        dialog->OkBitBtn->click();
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B2", "C"}));
        QCOMPARE(batteries(form->log()), (QStringList{"A", "B2", "C"}));
    }

    void damagedReplacementIsKeptAsideNotMerged()
    {
        TQorLogMainForm *form = openForm();
        QFile file(logPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<?xml version=\"1.0\"?><QorInsight><Charges><Charge><DateTime>1");
        file.close();
        QTRY_VERIFY(!notice("DamagedReplacementNoticeBox").isEmpty());
        QVERIFY(notice("DamagedReplacementNoticeBox").contains(QStringLiteral(".damaged-")));
        QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("test.QorLog.damaged-*")}).size(),
                 1);
        // QorLog's own charges are written back at once.
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B"}));
        QCOMPARE(form->tableModel()->rowCount(), 2);
    }

    void dailyBackupAndBackupBeforePurge()
    {
        TQorLogMainForm *form = openForm();
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        const QList<TBackupInfo> daily = form->logFileGuard()->backups().backups();
        QCOMPARE(daily.size(), 1);
        QCOMPARE(daily.first().Type, TBackupInfo::Kind::Daily);
        // Close with a purge of the hidden battery "A": the file before it is kept.
        form->log().BatteriesStringList.setMarked(form->log().BatteriesStringList.indexOf("A"),
                                                  true);
        form->show();
        whenModal([](QWidget *box) { box->findChild<QPushButton *>("OkButton")->click(); });
        QVERIFY(form->close());
        QCOMPARE(batteriesOnDisk(), (QStringList{"B", "M"}));
        const QList<TBackupInfo> all = form->logFileGuard()->backups().backups();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.first().Type, TBackupInfo::Kind::BeforePurge);
        TChargeLog before;
        LogFile::LoadChargeLog(all.first().Path, before);
        QCOMPARE(batteries(before), (QStringList{"A", "B", "M"}));
    }

    // A log reached through a link, as the program takes it up (the link followed once): its
    // day's backup is a copy of the file, and restoring it restores.
    void linkedLogRestoresItsBackup()
    {
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("synced"))));
        const QString real = m_dir->filePath(QStringLiteral("synced/test.QorLog"));
        QVERIFY(QFile::rename(logPath(), real));
        QVERIFY(QFile::link(real, logPath()));
        m_form = std::make_unique<TQorLogMainForm>(FilePaths::resolved(logPath()));
        m_form->FormCreate();
        m_form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                                QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                                QString(), false);
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M"}));
        const QList<TBackupInfo> backups = m_form->logFileGuard()->backups().backups();
        QCOMPARE(backups.size(), 1);
        QVERIFY(backups.first().Path.startsWith(real));
        m_form->RestoreBackup(backups.first().Path);
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B"}));
        QVERIFY(QFileInfo(logPath()).isSymLink());
    }

    void restoreBackupReplacesTheLogAndKeepsTheCurrentFile()
    {
        TQorLogMainForm *form = openForm();
        form->HandleAddCharge(200, QStringLiteral("PSU"), false, QStringLiteral("QorA1"),
                              QStringLiteral("M"), 1, 1, QStringLiteral("Normal"), QString(),
                              QString(), false);
        // The File menu offers it before Quit; the dialog lists the day's backup with its count.
        const QList<QAction *> file = form->FileMenu->actions();
        QVERIFY(file.indexOf(form->RestoreBackupAction) >= 0);
        QVERIFY(file.indexOf(form->RestoreBackupAction) < file.indexOf(form->QuitAction));
        QString daily;
        whenModal([&daily](QWidget *dialog) {
            auto *restore = qobject_cast<TRestoreBackupForm *>(dialog);
            QCOMPARE(restore->BackupsTreeWidget->topLevelItemCount(), 1);
            QCOMPARE(restore->BackupsTreeWidget->topLevelItem(0)->text(1), QStringLiteral("2"));
            daily = restore->chosenPath();
            restore->RestoreBitBtn->click();
        });
        form->RestoreBackupAction->trigger();
        QVERIFY(!daily.isEmpty());
        QCOMPARE(batteries(form->log()), (QStringList{"A", "B"}));
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B"}));
        QCOMPARE(form->tableModel()->rowCount(), 2);
        // The log as it was before is a backup now, and restores in turn.
        const QList<TBackupInfo> all = form->logFileGuard()->backups().backups();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.first().Type, TBackupInfo::Kind::BeforeRestore);
        // One undo step takes the restore back.
        form->undoStack()->undo();
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M"}));
        form->RestoreBackup(daily);
        form->RestoreBackup(all.first().Path);
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M"}));
        // A backup that is gone changes nothing.
        QVERIFY_THROWS_EXCEPTION(QorLogError, form->RestoreBackup(daily + QStringLiteral(".gone")));
        QCOMPARE(batteriesOnDisk(), (QStringList{"A", "B", "M"}));
    }
};

QTEST_MAIN(TestMainGuard)
#include "tst_mainguard.moc"
