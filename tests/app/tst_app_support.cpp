#include "DisplayCheck.h"
#include "LogFilePath.h"
#include "SingleInstance.h"
#include "SplashFormUnit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <unistd.h>

class TestAppSupport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Which starts can reach a window system: Qt aborts those that cannot.
    void displayCheck_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("canOpen");
        QTest::newRow("nothing set") << QStringList() << QStringList() << false;
        QTest::newRow("X") << QStringList() << QStringList{"DISPLAY=:0"} << true;
        QTest::newRow("Wayland") << QStringList() << QStringList{"WAYLAND_DISPLAY=wayland-1"}
                                 << true;
        QTest::newRow("xcb without X")
            << QStringList() << QStringList{"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=wayland-1"}
            << false;
        QTest::newRow("a list, one reachable")
            << QStringList() << QStringList{"QT_QPA_PLATFORM=wayland;xcb", "DISPLAY=:1"} << true;
        QTest::newRow("offscreen")
            << QStringList() << QStringList{"QT_QPA_PLATFORM=offscreen"} << true;
        QTest::newRow("-platform wins")
            << QStringList{"-platform", "minimal"} << QStringList{"QT_QPA_PLATFORM=xcb"} << true;
        QTest::newRow("-platform=xcb") << QStringList{"--platform=xcb:nograb"}
                                       << QStringList{"QT_QPA_PLATFORM=offscreen"} << false;
        QTest::newRow("empty DISPLAY") << QStringList() << QStringList{"DISPLAY="} << false;
    }
    void displayCheck()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QProcessEnvironment env;
        for (const QString &pair : environment)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        QTEST(DisplayCheck::canOpenWindow(QStringList{QStringLiteral("qorlog")} + arguments, env),
              "canOpen");
    }

    // Without a runtime folder the guard keeps to the temporary folder under this user's own
    // names, and says nothing about it.
    void noRuntimeFolderNoWarning()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        TSingleInstanceGuard guard(QStringLiteral("{no-runtime-test}"));
        qputenv("XDG_RUNTIME_DIR", runtime);
        QVERIFY2(guard.lockPath().startsWith(QDir::tempPath()), qPrintable(guard.lockPath()));
        QVERIFY(guard.lockPath().contains(QString::number(::geteuid())));
    }

    void logFilePathReplacesTheExtension_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("log");
        QTest::newRow("no extension") << "/opt/q/qorlog"
                                      << "/opt/q/qorlog.QorLog";
        QTest::newRow("extension") << "/opt/q/QorLog.exe"
                                   << "/opt/q/QorLog.QorLog";
        QTest::newRow("dots in name") << "/opt/q/my.prog.bin"
                                      << "/opt/q/my.prog.QorLog";
        QTest::newRow("blank in folder") << "/opt/my q/qorlog"
                                         << "/opt/my q/qorlog.QorLog";
    }
    void logFilePathReplacesTheExtension()
    {
        QFETCH(QString, program);
        QFETCH(QString, log);
        QCOMPARE(logFilePathBeside(program), log);
    }

    void unwritableProgramFolderUsesTheDataFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString program = dir.filePath(QStringLiteral("qorlog"));
        QCOMPARE(defaultLogFilePath(program), dir.filePath(QStringLiteral("qorlog.QorLog")));
        // A folder that does not exist cannot be written either.
        const QString elsewhere = defaultLogFilePath(QStringLiteral("/nonexistent/bin/qorlog"));
        QVERIFY(elsewhere.endsWith(QStringLiteral("/qorlog.QorLog")));
        QVERIFY(!elsewhere.startsWith(QStringLiteral("/nonexistent")));
    }

    void systemProgramFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("system");
        QTest::newRow("packaged") << "/usr/bin" << true;
        QTest::newRow("installed by hand") << "/usr/local/bin" << true;
        QTest::newRow("old layout") << "/bin" << true;
        QTest::newRow("add-on package") << "/opt/qorlog/bin" << true;
        QTest::newRow("build folder") << "/home/me/qorlog/build/app" << false;
        QTest::newRow("only a prefix in common") << "/usrdata/bin" << false;
        QTest::newRow("optical") << "/optical/q" << false;
    }
    void systemProgramFolder()
    {
        QFETCH(QString, folder);
        QTEST(isSystemProgramFolder(folder), "system");
    }

    void onlyTheFirstInstanceRuns()
    {
        QTemporaryDir dir;
        const QString id = QStringLiteral("{test-instance}");
        TSingleInstanceGuard first(id, dir.path());
        QVERIFY(first.CheckSingleInstance());
        QSignalSpy activations(&first, &TSingleInstanceGuard::activationRequested);

        TSingleInstanceGuard second(id, dir.path());
        QVERIFY(!second.CheckSingleInstance());
        // The second start's message reaches the first, which serves it from its event loop.
        QVERIFY(second.sendActivation(1, 2000));
        QTRY_COMPARE(activations.count(), 1);
        // A message with another first parameter is ignored.
        QVERIFY(second.sendActivation(2, 2000));
        QTest::qWait(200);
        QCOMPARE(activations.count(), 1);
    }

    void aReleasedLockLetsTheNextStartRun()
    {
        QTemporaryDir dir;
        const QString id = QStringLiteral("{test-release}");
        {
            TSingleInstanceGuard first(id, dir.path());
            QVERIFY(first.CheckSingleInstance());
        }
        TSingleInstanceGuard next(id, dir.path());
        QVERIFY(next.CheckSingleInstance());
    }

    void staleLockOfADeadProcessDoesNotBlock()
    {
        QTemporaryDir dir;
        const QString id = QStringLiteral("{test-stale}");
        // A lock written by a process that no longer exists, as a crash leaves it.
        QFile lock(dir.filePath(id + QStringLiteral(".lock")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write("999999\nqorlog\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        TSingleInstanceGuard guard(id, dir.path());
        QVERIFY(guard.CheckSingleInstance());
    }

    void anotherUsersLockOrSocketIsNotTrusted()
    {
        QTemporaryDir dir;
        const QString id = QStringLiteral("{test-users}");
        TSingleInstanceGuard theirs(id, dir.path());
        QVERIFY(theirs.CheckSingleInstance());
        // Another user's files under the same names (files of this process, given away).
        if (::chown(QFile::encodeName(theirs.lockPath()).constData(), 65534, 65534) != 0)
            QSKIP("files cannot be given to another user here (needs root)");
        QVERIFY(::chown(QFile::encodeName(theirs.socketPath()).constData(), 65534, 65534) == 0);
        QSignalSpy activations(&theirs, &TSingleInstanceGuard::activationRequested);
        TSingleInstanceGuard mine(id, dir.path());
        QVERIFY(mine.CheckSingleInstance()); // starts instead of leaving silently
        QVERIFY(!mine.sendActivation(1, 300));
        QTest::qWait(100);
        QCOMPARE(activations.count(), 0);
    }

    void terminationSignalWritesTheLogAndEnds()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("runtime")));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        const QString log = dir.filePath(QStringLiteral("term.QorLog"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QORLOG_PROGRAM), {QStringLiteral("--log-file"), log});
        QVERIFY(program.waitForStarted());
        // Running once its single-instance socket exists.
        const QString socket =
            dir.filePath(QStringLiteral("runtime/{ECD75653-CFFC-453F-B764-FC2191BA1CB1}.socket"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 10000);
        QVERIFY(!QFileInfo::exists(log));
        program.terminate(); // SIGTERM
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFileInfo::exists(log));
    }

    void splashFitsTheNameAndRepaintsOnlyWhenTheBarMoves()
    {
        TSplashForm splash;
        QCOMPARE(splash.size(), QSize(312, 213));
        splash.fitApplicationName(QStringLiteral("AVeryLongProgramNameIndeed"));
        QLabel *name = splash.ApplicationNameLabel;
        QVERIFY(name->x() + name->width() < splash.width() - 10);
        QVERIFY(QFontMetrics(name->font()).height() < 36);
        // A short name keeps the largest font whose cell height is at most 36 pixels.
        splash.fitApplicationName(QStringLiteral("Q"));
        QFont font = name->font();
        QVERIFY(QFontMetrics(font).height() <= 36);
        font.setPixelSize(font.pixelSize() + 1);
        QVERIFY(QFontMetrics(font).height() > 36);
        QCOMPARE(splash.ProgressBar1->palette().color(QPalette::Base), QColor(0xE0, 0xE0, 0xE0));

        const int before = splash.repaintCount();
        for (int position = 1; position <= 100000; ++position)
            splash.SetSplashProgress(0, 100000, position);
        QCOMPARE(splash.ProgressBar1->value(), 100000);
        // At most one repaint per pixel of the bar, however many charges are read, and the
        // end is shown.
        QVERIFY(splash.repaintCount() - before <= splash.ProgressBar1->width() + 1);
        QVERIFY(splash.repaintCount() - before >= 1);
        // A frame later a move is shown at once.
        const int shown = splash.repaintCount();
        QTest::qSleep(20);
        splash.SetSplashProgress(0, 100000, 50000);
        QCOMPARE(splash.repaintCount(), shown + 1);
        QCOMPARE(splash.ProgressBar1->value(), 50000);

        // Within a frame of the window's own first paint only the end is painted again.
        TSplashForm onScreen;
        QElapsedTimer sincePaint;
        sincePaint.start();
        onScreen.show();
        QCoreApplication::processEvents();
        onScreen.SetSplashProgress(0, 1000, 500);
        if (sincePaint.elapsed() < 10)
            QCOMPARE(onScreen.repaintCount(), 0);
        onScreen.SetSplashProgress(0, 1000, 1000);
        QVERIFY(onScreen.repaintCount() >= 1);
        QCOMPARE(onScreen.ProgressBar1->value(), 1000);
    }
};

QTEST_MAIN(TestAppSupport)
#include "tst_app_support.moc"
