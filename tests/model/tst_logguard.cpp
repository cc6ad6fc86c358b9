#include "BackupStore.h"
#include "ChargeLog.h"
#include "ConflictCopies.h"
#include "LogFile.h"
#include "LogFileGuard.h"
#include "LogFileIdentity.h"
#include "LogMerge.h"
#include "ModelTestHelpers.h"
#include "SaveLock.h"

#include <QProcess>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using ModelTestHelpers::describeCharges;

namespace {

// A log from a compact description: one charge per letter-and-digit word, "b3" is a charge of
// battery "b" with 3 amp-hours; the same word is the same record. The charges have no ids, as
// a program that knows only the nine fields writes them: the fields decide.
TChargeLog logOf(const QString &words)
{
    TChargeLog log;
    for (const QString &word : words.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        log.StoreChargeRecord(-1, 46000.0, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                              word.left(1), 1.0, word.mid(1).toDouble(), QStringLiteral("Normal"),
                              QString(), QString());
        log.ChargeStringList.setIdentity(log.ChargeStringList.count() - 1, QUuid(), 0);
    }
    return log;
}

QStringList batteriesOf(const TChargeLog &log)
{
    QStringList words;
    for (int i = 0; i < log.ChargeStringList.count(); ++i) {
        const TChargeRecord &r = log.ChargeStringList.record(i);
        words << log.BatteriesStringList.name(r.BatteryIndex) + QString::number(r.AmpHours);
    }
    words.sort();
    return words;
}

void writeLog(const QString &path, const QString &words)
{
    TChargeLog log = logOf(words);
    LogFile::SaveChargeLog(path, log);
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A disk that fails: every read from offset 200 on is an input/output error.
ssize_t failingPread(int fd, void *buffer, size_t size, off_t offset)
{
    if (offset + off_t(size) > 200) {
        if (offset >= 200) {
            errno = EIO;
            return -1;
        }
        size = size_t(200 - offset);
    }
    return ::pread(fd, buffer, size, offset);
}

// A slow disk: every read takes a while, so that the file can change while it is read.
ssize_t slowPread(int fd, void *buffer, size_t size, off_t offset)
{
    QThread::msleep(100);
    return ::pread(fd, buffer, size, offset);
}

struct ReadFailure
{
    ReadFailure() { LogFile::SetPreadForTesting(failingPread); }
    ~ReadFailure() { LogFile::SetPreadForTesting(nullptr); }
};

} // namespace

class TestLogGuard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void merge_data();
    void merge();
    void mergeResolvesNamesAndKeys();
    void replaceByKeepsCommonRecords();
    void backupNamesAndPruning();
    void backupFallsBackToDataFolder();
    void guard_data();
    void guard();
    void saveAfterMergeCopiesFromTheFileRead();
    void raceWithOwnSave();
    void watcherSeesRenameAndSettles();
    void fileChangedWhileReadInBackground();
    void dailyBackupOnceAndFailureReportedOnce();
    void dailyBackupHoldsTheReplacedFile_data();
    void dailyBackupHoldsTheReplacedFile();
    void copiesKeepTheLogsPermissions_data();
    void copiesKeepTheLogsPermissions();
    void purgeBackupFailureIsReturned();
    void damagedCopiesListedAndPruned();
    void saveWaitsForTheLock_data();
    void saveWaitsForTheLock();
    void readErrorIsNotDamage_data();
    void readErrorIsNotDamage();
    void staleSaveFilesGoAtTheFirstSave_data();
    void staleSaveFilesGoAtTheFirstSave();
    void readErrorMakesTheGuardReadOnly_data();
    void readErrorMakesTheGuardReadOnly();
    void staleLocks_data();
    void staleLocks();
    void staleLockOfALongName();
    void slowLiveHolderKeepsTheLock();
    void plantedLinksAreNeverWrittenThrough_data();
    void plantedLinksAreNeverWrittenThrough();
    void copyMadeAfterTheClockWentBackStays();
    void linkedLogIsBackedUpBesideTheRealFile();
    void conflictCopyNames_data();
    void conflictCopyNames();
    void conflictCopiesMergedAndPutAway();
    void fullDiskSaveKeepsTheOldFile();
};

void TestLogGuard::merge_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("memory");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("removed");
    QTest::newRow("nothing changed") << "a1 b1"
                                     << "a1 b1"
                                     << "a1 b1"
                                     << "a1 b1" << 0 << 0;
    QTest::newRow("both add different") << "a1"
                                        << "a1 b1"
                                        << "a1 c1"
                                        << "a1 b1 c1" << 1 << 0;
    QTest::newRow("both add the same") << "a1"
                                       << "a1 b1"
                                       << "a1 b1"
                                       << "a1 b1" << 0 << 0;
    QTest::newRow("file removes") << "a1 b1"
                                  << "a1"
                                  << "a1 b1 c1"
                                  << "a1 c1" << 0 << 1;
    QTest::newRow("file removes what memory edited") << "a1 b1"
                                                     << "a1"
                                                     << "a1 b2"
                                                     << "a1 b2" << 0 << 0;
    QTest::newRow("edit on both sides keeps both") << "a1 b1"
                                                   << "a1 b3"
                                                   << "a1 b2"
                                                   << "a1 b2 b3" << 1 << 0;
    QTest::newRow("both remove") << "a1 b1"
                                 << "a1"
                                 << "a1"
                                 << "a1" << 0 << 0;
    QTest::newRow("duplicates counted") << "a1 a1 a1"
                                        << "a1"
                                        << "a1 a1 a1 a1"
                                        << "a1 a1" << 0 << 2;
    QTest::newRow("two removed, one already gone") << "a1 a1"
                                                   << ""
                                                   << "a1"
                                                   << "" << 0 << 1;
    QTest::newRow("file emptied") << "a1 b1"
                                  << ""
                                  << "a1 b1 c1"
                                  << "c1" << 0 << 2;
    QTest::newRow("first file appears") << ""
                                        << "a1 b1"
                                        << "c1"
                                        << "a1 b1 c1" << 2 << 0;
}

void TestLogGuard::merge()
{
    QFETCH(QString, base);
    QFETCH(QString, disk);
    QFETCH(QString, memory);
    QFETCH(QString, expected);
    TChargeLog memoryLog = logOf(memory);
    const TLogMerge change = LogMerge::MergeOutsideChange(logOf(base), logOf(disk), memoryLog);
    QTEST(int(change.Added.size()), "added");
    QTEST(int(change.Removed.size()), "removed");
    LogMerge::ApplyMerge(memoryLog, change);
    QStringList want = expected.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    want.sort();
    QCOMPARE(batteriesOf(memoryLog), want);
}

void TestLogGuard::mergeResolvesNamesAndKeys()
{
    TChargeLog base = logOf(QStringLiteral("a1"));
    TChargeLog disk = logOf(QStringLiteral("a1"));
    // A name in other letter case is the same name; a new one is appended; every field counts.
    disk.StoreChargeRecord(-1, 46001.5, QStringLiteral("psu"), QStringLiteral("New charger"),
                           QStringLiteral("A"), -2.5, 0.75, QStringLiteral("Error"),
                           QStringLiteral("note * with star"), QStringLiteral("/tmp/x.log"));
    disk.CyclesSeriesColour = 123;
    TChargeLog memory = logOf(QStringLiteral("a1 z9"));
    memory.CyclesSeriesColour = 456;
    const qint32 nextKey = memory.NextKey;
    const int chargers = memory.ChargersStringList.count();
    const TLogMerge change = LogMerge::MergeOutsideChange(base, disk, memory);
    QCOMPARE(change.Added.size(), 1);
    QCOMPARE(change.Added.first().Record.Key, nextKey);
    QCOMPARE(memory.NextKey, nextKey + 1);
    QCOMPARE(memory.ChargersStringList.count(), chargers + 1);
    LogMerge::ApplyMerge(memory, change);
    QCOMPARE(memory.CyclesSeriesColour, 456); // colours of memory win
    const QStringList lines = describeCharges(memory);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.contains(describeCharges(disk)
                               .last()
                               .replace(QStringLiteral("\"psu\""), QStringLiteral("\"PSU\""))
                               .replace(QStringLiteral("\"A\""), QStringLiteral("\"a\""))));
    // A record differing in one field only is another record.
    TChargeLog disk2 = disk;
    disk2.ChargeStringList.replace(1, disk2.ChargeStringList.record(1),
                                   QStringLiteral("/tmp/x.log*note"));
    TChargeLog memory2 = disk;
    QCOMPARE(LogMerge::MergeOutsideChange(disk, disk2, memory2).Added.size(), 1);
}

void TestLogGuard::replaceByKeepsCommonRecords()
{
    TChargeLog memory = logOf(QStringLiteral("a1 b1 c1"));
    const qint32 keyOfA = memory.ChargeStringList.record(0).Key;
    const TLogMerge change = LogMerge::ReplaceBy(logOf(QStringLiteral("a1 d1")), memory);
    QCOMPARE(change.Removed.size(), 2);
    QCOMPARE(change.Added.size(), 1);
    LogMerge::ApplyMerge(memory, change);
    QCOMPARE(batteriesOf(memory), (QStringList{"a1", "d1"}));
    QVERIFY(memory.FindChargeIndex(keyOfA) >= 0);
}

void TestLogGuard::backupNamesAndPruning()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("my.QorLog"));
    TBackupStore store(log, QString());
    QCOMPARE(store.folder(), dir.filePath(QStringLiteral("my.QorLog-backups")));
    QVERIFY(store.backUpDaily(QDate(2026, 1, 1)).isEmpty()); // no log yet: nothing to copy
    writeLog(log, QStringLiteral("a1 b1"));
    const QDate first(2026, 1, 1);
    for (int day = 0; day < 20; ++day)
        QVERIFY(!store.backUpDaily(first.addDays(day)).isEmpty());
    QVERIFY(store.backUpDaily(first.addDays(19)).isEmpty()); // once a day
    const QDateTime at(QDate(2026, 2, 1), QTime(10, 0, 0));
    for (int i = 0; i < 7; ++i)
        QVERIFY(!store.backUpBeforePurge(at).isEmpty()); // same second: never replaced
    const QString restoreCopy = store.backUpBeforeRestore(at);
    QCOMPARE(QFileInfo(restoreCopy).fileName(),
             QStringLiteral("2026-02-01-100000-before-restore.QorLog"));

    const QList<TBackupInfo> all = store.backups();
    QCOMPARE(all.size(), TBackupStore::DailyKept + TBackupStore::EventKept + 1);
    QStringList daily, purge;
    for (const TBackupInfo &info : all)
        (info.Type == TBackupInfo::Kind::Daily ? daily : purge) << QFileInfo(info.Path).fileName();
    QCOMPARE(daily.first(), QStringLiteral("2026-01-20.QorLog"));
    QCOMPARE(daily.last(), QStringLiteral("2026-01-07.QorLog"));
    QVERIFY(purge.contains(QStringLiteral("2026-02-01-100006-before-purge.QorLog")));
    QVERIFY(!purge.contains(QStringLiteral("2026-02-01-100001-before-purge.QorLog")));
    // A copy reads back as the log it was made from.
    TChargeLog copy;
    LogFile::LoadChargeLog(all.last().Path, copy);
    QCOMPARE(batteriesOf(copy), (QStringList{"a1", "b1"}));
}

void TestLogGuard::backupFallsBackToDataFolder()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("my.QorLog"));
    writeLog(log, QStringLiteral("a1"));
    // The folder beside the log cannot be made: a plain file holds its name.
    QFile blocker(log + QStringLiteral("-backups"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TBackupStore store(log, dir.filePath(QStringLiteral("data")));
    const QString copy = store.backUpDaily(QDate(2026, 3, 1));
    QCOMPARE(QFileInfo(copy).dir().dirName(), TBackupStore::fallbackName(log));
    QVERIFY(copy.startsWith(dir.filePath(QStringLiteral("data/my.QorLog-backups-"))));
    QCOMPARE(store.backups().size(), 1);
    // A log of the same name elsewhere has a fallback of its own: it gets its day's copy, and
    // each lists only its own copies.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("sync"))));
    const QString other = dir.filePath(QStringLiteral("sync/my.QorLog"));
    writeLog(other, QStringLiteral("b1"));
    QVERIFY(QFile(other + QStringLiteral("-backups")).open(QIODevice::WriteOnly));
    TBackupStore otherStore(other, dir.filePath(QStringLiteral("data")));
    QVERIFY(otherStore.fallback() != store.fallback());
    const QString otherCopy = otherStore.backUpDaily(QDate(2026, 3, 1));
    QVERIFY(!otherCopy.isEmpty());
    QCOMPARE(otherStore.backups().size(), 1);
    QCOMPARE(store.backups().size(), 1);
    TChargeLog held;
    LogFile::LoadChargeLog(otherCopy, held);
    QCOMPARE(batteriesOf(held), QStringList{"b1"});
    TBackupStore nowhere(log, log); // the fallback is under a file as well
    QVERIFY_THROWS_EXCEPTION(QorLogError, nowhere.backUpDaily(QDate(2026, 3, 2)));
}

// What another program does to the file; the guard's next save must keep its charges and ours.
void TestLogGuard::guard_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("replaced by rename") << "rename" << QStringList{"a1", "b1", "c1", "m1"};
    QTest::newRow("rewritten in place") << "inplace" << QStringList{"a1", "b1", "c1", "m1"};
    QTest::newRow("changed twice") << "twice" << QStringList{"a1", "c1", "d1", "m1"};
    QTest::newRow("truncated") << "truncate" << QStringList{"a1", "b1", "m1"};
    QTest::newRow("deleted") << "delete" << QStringList{"a1", "b1", "m1"};
}

void TestLogGuard::guard()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1 b1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    QSignalSpy merged(&guard, &TLogFileGuard::merged);
    QSignalSpy damaged(&guard, &TLogFileGuard::damagedReplacementKept);

    const QByteArray other =
        LogFile::WriteChargeLog(*std::make_unique<TChargeLog>(logOf(QStringLiteral("a1 b1 c1"))));
    const auto overwrite = [&](const QByteArray &bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite)); // same inode, new content
        QVERIFY(file.resize(0));
        QCOMPARE(file.write(bytes), bytes.size());
    };
    if (how == QLatin1String("rename")) {
        writeLog(path + QStringLiteral(".new"), QStringLiteral("a1 b1 c1"));
        QVERIFY(::rename(QFile::encodeName(path + ".new").constData(),
                         QFile::encodeName(path).constData()) == 0);
    } else if (how == QLatin1String("inplace")) {
        overwrite(other);
    } else if (how == QLatin1String("twice")) {
        overwrite(other);
        LogMerge::ApplyMerge(memory, guard.takeOutsideChange(memory).Merge);
        overwrite(LogFile::WriteChargeLog(
            *std::make_unique<TChargeLog>(logOf(QStringLiteral("a1 c1 d1")))));
    } else if (how == QLatin1String("truncate")) {
        overwrite(other.left(other.size() / 2));
    } else {
        QVERIFY(QFile::remove(path));
    }
    memory.StoreChargeRecord(-1, 46000.0, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                             QStringLiteral("m"), 1.0, 1.0, QStringLiteral("Normal"), QString(),
                             QString());
    guard.save(memory);
    QFETCH(QStringList, expected);
    QCOMPARE(batteriesOf(memory), expected);
    TChargeLog onDisk;
    LogFile::LoadChargeLog(path, onDisk);
    QCOMPARE(batteriesOf(onDisk), expected);
    QCOMPARE(damaged.size(), how == QLatin1String("truncate") ? 1 : 0);
    if (how == QLatin1String("truncate"))
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("log.QorLog.damaged-*")}).size(), 1);
    QCOMPARE(merged.isEmpty(), how == QLatin1String("truncate") || how == QLatin1String("delete"));
    // What was written is what the guard remembers: nothing more to take.
    QCOMPARE(int(guard.takeOutsideChange(memory).Type), int(TOutsideChange::Kind::None));
}

// The save after another program's change copies the charges that stand in that program's file
// as in the log from it: what it writes is what formatting the log gives.
void TestLogGuard::saveAfterMergeCopiesFromTheFileRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    TChargeLog written;
    for (int i = 0; i < 60; ++i)
        written.StoreChargeRecord(-1, 46000.0 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                  QStringLiteral("b%1").arg(i % 3), 1.0, i,
                                  QStringLiteral("Normal"), QStringLiteral("comment %1").arg(i),
                                  QString());
    LogFile::SaveChargeLog(path, written);
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    // The other program edits one, removes one and adds one, under a new name.
    TChargeLog other;
    LogFile::LoadChargeLog(path, other);
    TChargeRecord edited = other.ChargeStringList.record(5);
    edited.AmpHours += 0.5;
    other.ChargeStringList.replace(5, edited, other.ChargeStringList.text(5));
    other.ChargeStringList.removeAt(30);
    other.StoreChargeRecord(-1, 46010.5, QStringLiteral("Solar"), QStringLiteral("QorA1"),
                            QStringLiteral("new"), 2.0, 2.0, QStringLiteral("Normal"), QString(),
                            QString());
    LogFile::SaveChargeLog(path + QStringLiteral(".new"), other);
    QVERIFY(::rename(QFile::encodeName(path + ".new").constData(),
                     QFile::encodeName(path).constData()) == 0);
    memory.StoreChargeRecord(-1, 46100.0, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                             QStringLiteral("m"), 1.0, 1.0, QStringLiteral("Normal"), QString(),
                             QString());
    guard.save(memory);
    QCOMPARE(memory.ChargeStringList.count(), 61);
    QCOMPARE(contentsOf(path), LogFile::WriteChargeLog(memory));
}

void TestLogGuard::raceWithOwnSave()
{
    // Another program renames its version over the log while QorLog writes the new one: the
    // new file is not put in place; the other's change is merged and the save made again.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    memory = logOf(QStringLiteral("a1 m1"));
    writeLog(path + QStringLiteral(".other"), QStringLiteral("a1 o1"));
    int commits = 0;
    guard.setBeforeCommitHook([&] {
        if (++commits == 1)
            QCOMPARE(::rename(QFile::encodeName(path + ".other").constData(),
                              QFile::encodeName(path).constData()),
                     0);
    });
    QSignalSpy merged(&guard, &TLogFileGuard::merged);
    guard.save(memory);
    QCOMPARE(commits, 2);
    QCOMPARE(merged.size(), 1);
    QCOMPARE(batteriesOf(memory), (QStringList{"a1", "m1", "o1"}));
    TChargeLog onDisk;
    LogFile::LoadChargeLog(path, onDisk);
    QCOMPARE(batteriesOf(onDisk), (QStringList{"a1", "m1", "o1"}));
}

void TestLogGuard::watcherSeesRenameAndSettles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.setSettleInterval(50);
    guard.adopt(memory);
    QSignalSpy outside(&guard, &TLogFileGuard::outsideChange);
    // Our own saves are not outside changes.
    guard.save(memory);
    guard.save(memory);
    QTest::qWait(200);
    QCOMPARE(outside.size(), 0);
    // Two quick steps of another program give one signal; the watch survives the renames.
    writeLog(path, QStringLiteral("a1 b1"));
    writeLog(path, QStringLiteral("a1 b1 c1"));
    QTRY_COMPARE(outside.size(), 1);
    QTest::qWait(150);
    QCOMPARE(outside.size(), 1);
    QCOMPARE(guard.takeOutsideChange(memory).Merge.Added.size(), 2);
    writeLog(path, QStringLiteral("a1 b1 c1 d1"));
    QTRY_COMPARE(outside.size(), 2);
    // Deleted, then made again: the folder's watch sees it come back.
    QVERIFY(QFile::remove(path));
    QTRY_COMPARE(outside.size(), 3);
    QCOMPARE(int(guard.takeOutsideChange(memory).Type), int(TOutsideChange::Kind::Missing));
    writeLog(path, QStringLiteral("e1"));
    QTRY_COMPARE(outside.size(), 4);
}

// The watch reads a changed file on a thread of its own and tells once it is read; a version
// replaced during that read is not the one merged.
void TestLogGuard::fileChangedWhileReadInBackground()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.setSettleInterval(1);
    guard.adopt(memory);
    QSignalSpy outside(&guard, &TLogFileGuard::outsideChange);
    LogFile::SetPreadForTesting(slowPread);
    writeLog(path, QStringLiteral("a1 b1"));
    QTest::qWait(50); // the read of "a1 b1" is under way
    QCOMPARE(outside.size(), 0);
    writeLog(path, QStringLiteral("a1 b1 c1"));
    QTRY_VERIFY_WITH_TIMEOUT(!outside.isEmpty(), 10000);
    LogFile::SetPreadForTesting(nullptr);
    const TOutsideChange change = guard.takeOutsideChange(memory);
    QCOMPARE(int(change.Type), int(TOutsideChange::Kind::Merged));
    QCOMPARE(change.Merge.Added.size(), 2);
    // A save finds nothing more to merge.
    LogMerge::ApplyMerge(memory, change.Merge);
    QSignalSpy merged(&guard, &TLogFileGuard::merged);
    guard.save(memory);
    QCOMPARE(merged.size(), 0);
    QCOMPARE(batteriesOf(memory), (QStringList{"a1", "b1", "c1"}));
}

void TestLogGuard::dailyBackupOnceAndFailureReportedOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    memory = logOf(QStringLiteral("a1 b1"));
    guard.save(memory);
    guard.save(memory);
    const QList<TBackupInfo> backups = guard.backups().backups();
    QCOMPARE(backups.size(), 1);
    TChargeLog copy;
    LogFile::LoadChargeLog(backups.first().Path, copy);
    QCOMPARE(batteriesOf(copy), QStringList{"a1"}); // the file before the day's first save

    // Backups that cannot be written: reported once, the saves go on.
    const QString blocked = dir.filePath(QStringLiteral("blocked.QorLog"));
    writeLog(blocked, QStringLiteral("a1"));
    QFile(blocked + QStringLiteral("-backups")).open(QIODevice::WriteOnly);
    TLogFileGuard failing(blocked, blocked);
    failing.adopt(memory);
    QSignalSpy failed(&failing, &TLogFileGuard::backupFailed);
    failing.save(memory);
    failing.backUpBeforePurge();
    failing.save(memory);
    QCOMPARE(failed.size(), 1);
    TChargeLog saved;
    LogFile::LoadChargeLog(blocked, saved);
    QCOMPARE(batteriesOf(saved), (QStringList{"a1", "b1"}));
}

void TestLogGuard::dailyBackupHoldsTheReplacedFile_data()
{
    QTest::addColumn<bool>("besideBlocked"); // the folder beside the log cannot be made
    QTest::newRow("link beside the log") << false;
    QTest::newRow("copy in the data folder after the save") << true;
}

void TestLogGuard::dailyBackupHoldsTheReplacedFile()
{
    QFETCH(bool, besideBlocked);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1 b1"));
    const QByteArray before = contentsOf(path);
    if (besideBlocked)
        QVERIFY(QFile(path + QStringLiteral("-backups")).open(QIODevice::WriteOnly));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, dir.filePath(QStringLiteral("data")));
    guard.adopt(memory);
    memory = logOf(QStringLiteral("a1 b1 c1"));
    guard.save(memory);
    guard.waitForBackup();
    const QList<TBackupInfo> backups = guard.backups().backups();
    QCOMPARE(backups.size(), 1);
    QCOMPARE(backups.first().Path.startsWith(dir.filePath(QStringLiteral("data"))), besideBlocked);
    QCOMPARE(contentsOf(backups.first().Path), before);
    // The backup is no second name of the log: the log is another file now.
    QVERIFY(TLogFileIdentity::ofPath(backups.first().Path).Inode !=
            TLogFileIdentity::ofPath(path).Inode);
    guard.save(memory);
    QCOMPARE(contentsOf(backups.first().Path), before);
}

void TestLogGuard::copiesKeepTheLogsPermissions_data()
{
    QTest::addColumn<int>("logMode");
    QTest::addColumn<int>("folderMode");
    QTest::newRow("private log") << 0600 << 0700;
    QTest::newRow("log others may read") << 0644 << 0755;
}

void TestLogGuard::copiesKeepTheLogsPermissions()
{
    QFETCH(int, logMode);
    QFETCH(int, folderMode);
    const mode_t oldMask = ::umask(022);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(logMode)) == 0);
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    memory = logOf(QStringLiteral("a1 b1"));
    guard.save(memory);
    QVERIFY(guard.backUpBeforePurge());
    guard.backups().keepDamagedCopy();
    guard.backups().backUpDaily(QDate(2020, 1, 1)); // a copy rather than a link
    ::umask(oldMask);
    QCOMPARE(modeOf(path), logMode);
    QCOMPARE(modeOf(guard.backups().folder()), folderMode);
    const QList<TBackupInfo> copies = guard.backups().backups();
    QCOMPARE(copies.size(), 4);
    for (const TBackupInfo &copy : copies)
        QVERIFY2(modeOf(copy.Path) == logMode, qPrintable(copy.Path));
}

void TestLogGuard::purgeBackupFailureIsReturned()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TLogFileGuard guard(path, QString());
    QString error;
    QVERIFY(guard.backUpBeforePurge(&error));
    QVERIFY(error.isEmpty());
    QVERIFY(QDir(guard.backups().folder()).removeRecursively());
    QVERIFY(QFile(guard.backups().folder()).open(QIODevice::WriteOnly));
    QVERIFY(!guard.backUpBeforePurge(&error));
    QVERIFY(error.contains(path));
}

void TestLogGuard::damagedCopiesListedAndPruned()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TBackupStore store(path, QString());
    QStringList made;
    for (int i = 0; i < TBackupStore::EventKept + 3; ++i)
        made << store.keepDamagedCopy();
    const QList<TBackupInfo> all = store.backups();
    QCOMPARE(all.size(), TBackupStore::EventKept);
    for (const TBackupInfo &info : all) {
        QCOMPARE(info.Type, TBackupInfo::Kind::Damaged);
        QVERIFY(made.mid(3).contains(info.Path)); // the newest are kept
    }
    // The log of a damaged file gets no daily backup: it would push a good one out.
    TLogFileGuard guard(path, QString());
    guard.adopt(logOf(QStringLiteral("a1")), false);
    TChargeLog memory = logOf(QStringLiteral("a1 b1"));
    guard.save(memory);
    QVERIFY(!guard.backups().hasDaily(QDate::currentDate()));
}

void TestLogGuard::saveWaitsForTheLock_data()
{
    QTest::addColumn<int>("heldMs"); // how long another save holds the lock; -1: dead holder
    QTest::addColumn<bool>("saved");
    QTest::newRow("free") << 0 << true;
    QTest::newRow("held briefly") << 150 << true;
    QTest::newRow("held beyond the timeout") << 2000 << false;
    QTest::newRow("left by a process that is gone") << -1 << true;
}

void TestLogGuard::saveWaitsForTheLock()
{
    QFETCH(int, heldMs);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    const QByteArray before = contentsOf(path);
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    guard.setLockTimeout(500);
    TSaveLock other(guard.lockPath());
    std::thread release;
    if (heldMs > 0) {
        QVERIFY(other.tryLock() == TSaveLock::Result::Locked);
        release = std::thread([&other, heldMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
            other.unlock();
        });
    } else if (heldMs < 0) {
        // A lock file naming a process of this machine that no longer runs.
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QFile lock(guard.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + ' ' + QSysInfo::machineHostName().toUtf8() + '\n');
        lock.close();
    }
    memory = logOf(QStringLiteral("a1 b1"));
    bool threw = false;
    try {
        guard.save(memory);
    } catch (const QorLogError &error) {
        threw = true;
        QVERIFY(error.message().contains(path));
    }
    if (release.joinable())
        release.join();
    QCOMPARE(threw, !saved);
    if (saved) {
        TChargeLog onDisk;
        LogFile::LoadChargeLog(path, onDisk);
        QCOMPARE(batteriesOf(onDisk), (QStringList{"a1", "b1"}));
        QVERIFY(!QFileInfo::exists(guard.lockPath()));
    } else {
        QCOMPARE(contentsOf(path), before);
    }
}

void TestLogGuard::readErrorIsNotDamage_data()
{
    QTest::addColumn<bool>("failingDisk");
    QTest::addColumn<int>("cutAt"); // the file is cut short here; -1 for whole
    QTest::addColumn<bool>("readError");
    QTest::newRow("input/output error") << true << -1 << true;
    QTest::newRow("cut short") << false << 300 << false;
    QTest::newRow("whole") << false << -1 << false;
}

void TestLogGuard::readErrorIsNotDamage()
{
    QFETCH(bool, failingDisk);
    QFETCH(int, cutAt);
    QFETCH(bool, readError);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1 b1 c1"));
    if (cutAt >= 0)
        QVERIFY(QFile::resize(path, cutAt));
    std::unique_ptr<ReadFailure> failure(failingDisk ? new ReadFailure : nullptr);
    TChargeLog log;
    bool threwReadError = false, threw = false;
    try {
        LogFile::LoadChargeLog(path, log);
    } catch (const QorLogReadError &) {
        threwReadError = threw = true;
    } catch (const QorLogError &) {
        threw = true;
    }
    QCOMPARE(threwReadError, readError);
    QCOMPARE(threw, failingDisk || cutAt >= 0);
}

void TestLogGuard::staleSaveFilesGoAtTheFirstSave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("removed");
    QTest::newRow("left by a killed save") << "log.QorLog.Ab12Cd" << 120 << true;
    QTest::newRow("a save under way elsewhere") << "log.QorLog.Ab12Cd" << 5 << false;
    QTest::newRow("seven characters") << "log.QorLog.Ab12Cde" << 120 << false;
    QTest::newRow("another log's") << "other.QorLog.Ab12Cd" << 120 << false;
    QTest::newRow("the user's whole copy") << "log.QorLog.backup" << 120 << false;
}

void TestLogGuard::staleSaveFilesGoAtTheFirstSave()
{
    QFETCH(QString, name);
    QFETCH(int, ageSeconds);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    QFile left(dir.filePath(name));
    QVERIFY(left.open(QIODevice::WriteOnly));
    left.write("<?xml version=\"1.0\"?>\n<QorInsight>");
    if (name.endsWith(QLatin1String("backup")))
        left.write("<Charges/></QorInsight>\n");
    QVERIFY(left.flush());
    QVERIFY(left.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                             QFileDevice::FileModificationTime));
    left.close();
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.adopt(memory);
    memory = logOf(QStringLiteral("a1 b1"));
    guard.save(memory);
    QCOMPARE(!QFileInfo::exists(left.fileName()), removed);
}

void TestLogGuard::readErrorMakesTheGuardReadOnly_data()
{
    QTest::addColumn<bool>("saveFirst"); // a save comes before the retry timer looks again
    QTest::newRow("the retry finds it") << false;
    QTest::newRow("the next save finds it") << true;
}

void TestLogGuard::readErrorMakesTheGuardReadOnly()
{
    QFETCH(bool, saveFirst);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.setRetryInterval(saveFirst ? 3600000 : 20);
    guard.adopt(memory);
    writeLog(path, QStringLiteral("a1 b1 c1")); // another program's change, which fails to read
    const QByteArray written = contentsOf(path);
    QSignalSpy again(&guard, &TLogFileGuard::readableAgain);
    QSignalSpy outside(&guard, &TLogFileGuard::outsideChange);
    {
        ReadFailure failure;
        QCOMPARE(int(guard.takeOutsideChange(memory).Type), int(TOutsideChange::Kind::Unreadable));
        QVERIFY(guard.isReadOnly());
        memory = logOf(QStringLiteral("a1 m1"));
        QVERIFY_THROWS_EXCEPTION(QorLogError, guard.save(memory));
        QVERIFY(!guard.retryRead());
        QTest::qWait(60);
        QCOMPARE(again.size(), 0);
    }
    QCOMPARE(contentsOf(path), written);
    QDir damaged(dir.path(), QStringLiteral("*.damaged-*"));
    QCOMPARE(damaged.count(), 0u);
    if (saveFirst) {
        // The disk recovers and a save comes before the timer: it reads and merges the file.
        guard.save(memory);
        QTRY_COMPARE(again.size(), 1);
    } else {
        // The disk recovers: the timer finds it, and the next look merges the whole file.
        QTRY_COMPARE(again.size(), 1);
        QVERIFY(!outside.isEmpty());
        guard.save(memory);
    }
    QVERIFY(!guard.isReadOnly());
    TChargeLog onDisk;
    LogFile::LoadChargeLog(path, onDisk);
    QCOMPARE(batteriesOf(onDisk), (QStringList{"a1", "b1", "c1", "m1"}));
}

// A log whose name is near the file system's limit: the stale lock beside it is still taken
// (it is moved aside under a short name of its own).
void TestLogGuard::staleLockOfALongName()
{
    QTemporaryDir dir;
    const QString path =
        dir.filePath(QString(240, QLatin1Char('n')) + QStringLiteral(".QorLog.lock"));
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForStarted());
    const qint64 pid = gone.processId();
    QVERIFY(gone.waitForFinished());
    const QList<QByteArray> mine = TSaveLock::holderLine().trimmed().split(' ');
    {
        QFile lock(path);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + ' ' + mine.at(1) + ' ' + mine.at(2) + " 1\n");
    }
    TSaveLock lock(path);
    QCOMPARE(lock.tryLock(), TSaveLock::Result::Locked);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestLogGuard::staleLocks_data()
{
    // A lock line with the placeholders PID (a process: this one, or one that is gone), HOST,
    // BOOT and START (this process's start) filled in.
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("alive");     // PID names this process, else one that is gone
    QTest::addColumn<int>("ageSeconds"); // negative: dated in the future
    QTest::addColumn<bool>("taken");
    QTest::newRow("here, the process is gone") << "PID HOST BOOT START" << false << 0 << true;
    QTest::newRow("here, the number is another process's")
        << "PID HOST BOOT 1" << true << 0 << true;
    QTest::newRow("here, a live holder an hour in")
        << "PID HOST BOOT START" << true << 3600 << false;
    QTest::newRow("another computer, just refreshed")
        << "77 far-away 1-2-3 5" << true << 0 << false;
    QTest::newRow("another computer, unrefreshed for a minute")
        << "77 far-away 1-2-3 5" << true << 60 << true;
    QTest::newRow("another computer, dated a minute ahead")
        << "77 far-away 1-2-3 5" << true << -60 << false;
    QTest::newRow("same host name, another boot, just refreshed")
        << "PID HOST 1-2-3 START" << true << 0 << false;
    QTest::newRow("same host name, another boot, unrefreshed")
        << "PID HOST 1-2-3 START" << true << 60 << true;
    QTest::newRow("an older QorLog's, gone") << "PID HOST" << false << 0 << true;
    // Its maker was stopped between making the file and writing its line.
    QTest::newRow("empty, just made") << "" << true << 0 << false;
    QTest::newRow("empty, for a few seconds") << "" << true << 4 << true;
}

void TestLogGuard::staleLocks()
{
    QFETCH(QString, holder);
    QFETCH(bool, alive);
    QFETCH(int, ageSeconds);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog.lock"));
    const QList<QByteArray> mine = TSaveLock::holderLine().trimmed().split(' ');
    QString pid = QString::fromLatin1(mine.at(0));
    if (!alive) {
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        pid = QString::number(gone.processId());
        QVERIFY(gone.waitForFinished());
    }
    holder.replace(QStringLiteral("PID"), pid)
        .replace(QStringLiteral("HOST"), QString::fromUtf8(mine.at(1)))
        .replace(QStringLiteral("BOOT"), QString::fromUtf8(mine.at(2)))
        .replace(QStringLiteral("START"), QString::fromUtf8(mine.at(3)));
    {
        QFile lock(path);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(holder.toUtf8() + '\n');
    }
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[1]);
    times[1].tv_sec -= ageSeconds;
    times[0] = times[1];
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
    TSaveLock lock(path);
    QFETCH(bool, taken);
    QCOMPARE(lock.tryLock() == TSaveLock::Result::Locked, taken);
    // Seen unchanged for the stale time, any lock of another computer is stale, also one
    // dated ahead: it is not taken at once, nor never.
    if (!taken && holder.contains(QStringLiteral("1-2-3"))) {
        TSaveLock patient(path, 300);
        QCOMPARE(patient.tryLock(), TSaveLock::Result::Busy);
        QTest::qWait(400);
        QCOMPARE(patient.tryLock(), TSaveLock::Result::Locked);
    }
}

// A QorLog whose save takes longer than the stale time keeps its lock, and refreshes it.
void TestLogGuard::slowLiveHolderKeepsTheLock()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog.lock"));
    QProcess holder;
    holder.start(QStringLiteral(QORLOG_ROBUST_HELPERS "/qorlog_saveloop"),
                 {QStringLiteral("hold"), path, QStringLiteral("1500"), QStringLiteral("100")});
    QVERIFY(holder.waitForReadyRead(10000)); // holds it now
    const qint64 firstSeen = TLogFileIdentity::ofPath(path).ModifiedNs;
    TSaveLock lock(path, 200);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(lock.tryLock(), TSaveLock::Result::Busy);
        QTest::qWait(200);
    }
    QVERIFY(TLogFileIdentity::ofPath(path).ModifiedNs > firstSeen);
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE(lock.tryLock(), TSaveLock::Result::Locked);
}

void TestLogGuard::plantedLinksAreNeverWrittenThrough_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"daily", "before purge", "before restore", "conflict copy", "damaged"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestLogGuard::plantedLinksAreNeverWrittenThrough()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TLogFileGuard guard(path, QString());
    TBackupStore &store = guard.backups();
    QVERIFY(QDir().mkpath(store.folder()));
    // Links under every name the copy may get in the next seconds, to a file not there.
    const QString target = dir.filePath(QStringLiteral("elsewhere"));
    const QDateTime now = QDateTime::currentDateTime();
    QStringList names;
    for (int s = 0; s < 4; ++s) {
        const QDateTime at = now.addSecs(s);
        if (kind == QLatin1String("daily"))
            names << store.folder() + '/' + TBackupStore::fileName(TBackupInfo::Kind::Daily, at);
        else if (kind == QLatin1String("damaged"))
            names << path + QStringLiteral(".damaged-") + at.toString("yyyyMMdd-HHmmss");
        else
            names << store.folder() + '/' +
                         TBackupStore::fileName(kind == QLatin1String("before purge")
                                                    ? TBackupInfo::Kind::BeforePurge
                                                : kind == QLatin1String("before restore")
                                                    ? TBackupInfo::Kind::BeforeRestore
                                                    : TBackupInfo::Kind::ConflictCopy,
                                                at);
    }
    names.removeDuplicates();
    for (const QString &name : std::as_const(names))
        QVERIFY(QFile::link(target, name));
    QString made;
    if (kind == QLatin1String("daily")) {
        TChargeLog memory = logOf(QStringLiteral("a1"));
        guard.adopt(memory);
        memory = logOf(QStringLiteral("a1 b1"));
        guard.save(memory);
        guard.waitForBackup();
        QVERIFY(guard.backups().hasDaily(QDate::currentDate()));
        made = names.first();
    } else if (kind == QLatin1String("before purge")) {
        made = store.backUpBeforePurge(now);
    } else if (kind == QLatin1String("before restore")) {
        made = store.backUpBeforeRestore(now);
    } else if (kind == QLatin1String("conflict copy")) {
        const QString copy = dir.filePath(QStringLiteral("log (conflicted copy).QorLog"));
        writeLog(copy, QStringLiteral("c1"));
        made = store.putAwayConflictCopy(copy, now);
    } else {
        made = store.keepDamagedCopy();
    }
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY2(QFileInfo(made).isFile() && !QFileInfo(made).isSymLink(), qPrintable(made));
    QVERIFY(!contentsOf(made).isEmpty());
    // Only real copies are offered for a restore.
    for (const TBackupInfo &backup : store.backups())
        QVERIFY2(!QFileInfo(backup.Path).isSymLink(), qPrintable(backup.Path));
}

void TestLogGuard::copyMadeAfterTheClockWentBackStays()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1"));
    TBackupStore store(path, QString());
    const QDate today(2026, 5, 1);
    for (int day = 1; day <= TBackupStore::DailyKept; ++day)
        QVERIFY(!store.backUpDaily(today.addDays(day)).isEmpty());
    const QString made = store.backUpDaily(today);
    QVERIFY(QFileInfo::exists(made));
    QCOMPARE(store.backups().size(), TBackupStore::DailyKept);
    QVERIFY(store.hasDaily(today));
}

void TestLogGuard::linkedLogIsBackedUpBesideTheRealFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("real"))));
    const QString real = dir.filePath(QStringLiteral("real/log.QorLog"));
    const QString link = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(real, QStringLiteral("a1"));
    QVERIFY(QFile::link(real, link));
    // Through a linked folder too.
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("real")), dir.filePath(QStringLiteral("sync"))));
    QCOMPARE(FilePaths::resolved(link), real);
    QCOMPARE(FilePaths::resolved(dir.filePath(QStringLiteral("sync/log.QorLog"))), real);
    QVERIFY(FilePaths::sameFile(link, dir.filePath(QStringLiteral("sync/log.QorLog"))));

    const QByteArray before = contentsOf(real);
    TChargeLog memory;
    LogFile::LoadChargeLog(real, memory);
    TLogFileGuard guard(FilePaths::resolved(link), QString());
    guard.adopt(memory);
    memory = logOf(QStringLiteral("a1 b1"));
    guard.save(memory);
    guard.waitForBackup();
    QCOMPARE(guard.lockPath(), real + QStringLiteral(".lock"));
    const QList<TBackupInfo> backups = guard.backups().backups();
    QCOMPARE(backups.size(), 1);
    QVERIFY(backups.first().Path.startsWith(real + QStringLiteral("-backups/")));
    QVERIFY(!QFileInfo(backups.first().Path).isSymLink());
    QCOMPARE(contentsOf(backups.first().Path), before);
    QVERIFY(QFileInfo(link).isSymLink()); // the link still leads to the log
    QCOMPARE(batteriesOf(*std::make_unique<TChargeLog>([&] {
                 TChargeLog log;
                 LogFile::LoadChargeLog(link, log);
                 return log;
             }())),
             (QStringList{"a1", "b1"}));
}

void TestLogGuard::conflictCopyNames_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("copy");
    QTest::newRow("sync conflict") << "my log.QorLog"
                                   << "my log.sync-conflict-20261209-101500-ABC7DEF.QorLog" << true;
    QTest::newRow("conflicted copy") << "my log.QorLog"
                                     << "my log (conflicted copy 2026-12-09).QorLog" << true;
    QTest::newRow("someone's conflicted copy")
        << "my log.QorLog"
        << "my log (Pat's conflicted copy 2026-12-09 (1)).QorLog" << true;
    QTest::newRow("the log itself") << "my log.QorLog"
                                    << "my log.QorLog" << false;
    QTest::newRow("another log's copy")
        << "my log.QorLog"
        << "my log2.sync-conflict-20261209-101500-ABC7DEF.QorLog" << false;
    QTest::newRow("bad stamp") << "my log.QorLog"
                               << "my log.sync-conflict-2026129-101500-A.QorLog" << false;
    QTest::newRow("other extension") << "my log.QorLog"
                                     << "my log (conflicted copy 2026-12-09).txt" << false;
    QTest::newRow("log without extension") << "charges"
                                           << "charges (conflicted copy 2026-12-09)" << true;
    QTest::newRow("backup") << "my log.QorLog"
                            << "my log.QorLog.damaged-20261209-101500" << false;
    QTest::newRow("conflicted copy with user and time")
        << "my log.QorLog"
        << "my log (conflicted copy pat 2026-12-09 101500).QorLog" << true;
    QTest::newRow("conflict mark in parentheses")
        << "my log.QorLog"
        << "my log (Conflict pat 2026-12-09-10-15-00).QorLog" << true;
    QTest::newRow("conflict mark in brackets") << "my log.QorLog"
                                               << "my log [conflict].QorLog" << true;
    QTest::newRow("older cloud client") << "my log.QorLog"
                                        << "my log_conflict-20261209-101500.QorLog" << true;
    QTest::newRow("numbered conflict") << "my log.QorLog"
                                       << "my log.conflict1.QorLog" << true;
    QTest::newRow("mark after the whole name") << "my log.QorLog"
                                               << "my log.QorLog.conflict2" << true;
    QTest::newRow("a word beginning with conflict") << "my log.QorLog"
                                                    << "my log-conflicting.QorLog" << false;
    QTest::newRow("a computer's name appended") << "my log.QorLog"
                                                << "my log-LAPTOP.QorLog" << false;
}

void TestLogGuard::conflictCopyNames()
{
    QFETCH(QString, log);
    QFETCH(QString, name);
    QTEST(ConflictCopies::isConflictCopyOf(log, name), "copy");
}

void TestLogGuard::conflictCopiesMergedAndPutAway()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.QorLog"));
    writeLog(path, QStringLiteral("a1 b1"));
    TChargeLog memory;
    LogFile::LoadChargeLog(path, memory);
    TLogFileGuard guard(path, QString());
    guard.setSettleInterval(20);
    guard.adopt(memory);
    QSignalSpy appeared(&guard, &TLogFileGuard::conflictCopiesAppeared);
    const QString good = dir.filePath(QStringLiteral("log (conflicted copy 2026-12-09).QorLog"));
    const QString bad = dir.filePath(QStringLiteral("log.sync-conflict-20261209-101500-X1.QorLog"));
    // The copy holds one charge of the log, one of its own twice and one under a name that
    // differs in letter case only.
    TChargeLog other = logOf(QStringLiteral("a1 c1 c1 B1"));
    LogFile::SaveChargeLog(good, other);
    writeLog(bad, QStringLiteral("a1 d1"));
    QVERIFY(QFile::resize(bad, QFileInfo(bad).size() / 2));
    QTRY_COMPARE(appeared.size(), 1);
    QCOMPARE(guard.conflictCopies(), (QStringList{good, bad}));

    const ConflictCopies::TConflictMerge merge = ConflictCopies::mergeCopy(good, memory);
    QVERIFY(!merge.Damaged);
    LogMerge::ApplyMerge(memory, merge.Merge);
    QCOMPARE(batteriesOf(memory), (QStringList{"a1", "b1", "c1", "c1"}));
    QCOMPARE(ConflictCopies::mergedNotice(merge),
             QStringLiteral("2 charges merged from the conflict copy %1")
                 .arg(QFileInfo(good).fileName()));
    const QString away = ConflictCopies::putAway(good, guard.backups());
    QVERIFY(!QFileInfo::exists(good));
    QCOMPARE(guard.backups().backups().first().Type, TBackupInfo::Kind::ConflictCopy);
    QCOMPARE(guard.backups().backups().first().Path, away);

    const ConflictCopies::TConflictMerge damaged = ConflictCopies::mergeCopy(bad, memory);
    QVERIFY(damaged.Damaged);
    QVERIFY(damaged.Merge.isEmpty());
    QVERIFY(damaged.Message.contains(bad));
    QCOMPARE(guard.conflictCopies(), QStringList{bad});
    // Once the sync tool has written it whole, it is looked at again.
    writeLog(bad, QStringLiteral("a1 d1"));
    QTRY_COMPARE(appeared.size(), 2);
    QVERIFY(!ConflictCopies::mergeCopy(bad, memory).Damaged);
}

void TestLogGuard::fullDiskSaveKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(mountPoint));
    if (::mount("none", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("no tmpfs can be mounted here (needs root)");
    const auto unmount =
        qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });
    const QString path = QDir(mountPoint).filePath(QStringLiteral("log.QorLog"));
    TChargeLog memory;
    for (int i = 0; i < 300; ++i)
        memory.StoreChargeRecord(-1, 46000.0 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                 QStringLiteral("b"), 1.0, 1.0, QStringLiteral("Normal"),
                                 QStringLiteral("charge %1").arg(i), QString());
    TLogFileGuard guard(path, QString());
    guard.adopt(TChargeLog());
    guard.save(memory);
    const QByteArray before = contentsOf(path);
    // The rest of the disk filled to the last byte.
    QFile filler(QDir(mountPoint).filePath(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'x');
    while (filler.write(block) > 0) {
    }
    while (filler.write(block.left(1)) > 0) {
    }
    // One page left: room for the lock beside the log, none for the new log.
    QVERIFY(filler.resize(filler.size() - 4096));
    filler.close();
    memory.StoreChargeRecord(-1, 47000.0, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                             QStringLiteral("b"), 1.0, 1.0, QStringLiteral("Normal"),
                             QStringLiteral("one more"), QString());
    try {
        guard.save(memory);
        QFAIL("saved on a full disk");
    } catch (const QorLogError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("cannot be written")),
                 qPrintable(error.message()));
    }
    QCOMPARE(contentsOf(path), before);
    QVERIFY(!QFileInfo::exists(guard.lockPath()));
}

QTEST_GUILESS_MAIN(TestLogGuard)
#include "tst_logguard.moc"
