#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
        const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// The column at which an option line's description starts, or -1 when the line is no option.
int descriptionColumn(const QString &line)
{
    static const QRegularExpression option(QStringLiteral("^ +-\\S+( [A-Z]+)? {2,}(?=\\S)"));
    const QRegularExpressionMatch match = option.match(line);
    return match.hasMatch() ? int(match.capturedLength()) : -1;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;   // HOME and XDG_DATA_HOME of the programs run here
    QTemporaryDir m_prefix; // where the build is installed
    QProcessEnvironment m_environment;
    QString m_installOutput;
    bool m_installed = false;

    QString installed(const QString &path) const { return m_prefix.filePath(path); }
    QString dataHome() const { return m_home.filePath(QStringLiteral("data")); }

    // The [Desktop Entry] group of the installed menu entry, key by key.
    QHash<QString, QString> desktopEntry() const
    {
        QHash<QString, QString> entry;
        QFile file(installed(QStringLiteral("share/applications/" QORLOG_DESKTOP_ID ".desktop")));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return entry;
        QString group;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            if (line.startsWith(QLatin1Char('['))) {
                group = line;
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (group == QLatin1String("[Desktop Entry]") && equals > 0)
                entry.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
        }
        return entry;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QVERIFY(m_prefix.isValid());
        QVERIFY(QDir().mkpath(dataHome()));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("HOME"), m_home.path());
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
        m_environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        m_environment.remove(QStringLiteral("DISPLAY"));
        m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

        const Run install = run(QStringLiteral(QORLOG_CMAKE_COMMAND),
                                {QStringLiteral("--install"), QStringLiteral(QORLOG_BINARY_DIR),
                                 QStringLiteral("--prefix"), m_prefix.path()},
                                m_home.path(), QProcessEnvironment::systemEnvironment());
        m_installOutput = install.out + install.err;
        m_installed = install.exitCode == 0;
    }

    // Help, version and a wrong command line need neither a display nor a session bus.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outPattern");
        QTest::addColumn<QString>("errPattern");

        const QString beside =
            QRegularExpression::escape(QFileInfo(QStringLiteral(QORLOG_PROGRAM)).absolutePath() +
                                       QStringLiteral("/qorlog.QorLog"));
        const QString usage = QStringLiteral("^Usage: qorlog \\[OPTION\\]\\.\\.\\.$");
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("^QorLog " QORLOG_VERSION "\\n$") << "^$";
        QTest::newRow("help starts with the usage")
            << QStringList{"--help"} << 0 << QStringLiteral("\\A") + usage.mid(1) << "^$";
        QTest::newRow("help names the log beside the program")
            << QStringList{"--help"} << 0 << QStringLiteral("\\nLog file: %1\\n\\z").arg(beside)
            << "^$";
        QTest::newRow("help names the log given")
            << QStringList{"--log-file", "logs/cells.QorLog", "--help"} << 0
            << QStringLiteral("\\nLog file: %1\\n\\z")
                   .arg(QRegularExpression::escape(m_home.filePath("logs/cells.QorLog")))
            << "^$";
        QTest::newRow("help names the log given with =")
            << QStringList{"--help", "--log-file=/srv/a b.QorLog"} << 0
            << QStringLiteral("\\nLog file: /srv/a b\\.QorLog\\n\\z") << "^$";
        QTest::newRow("help wins over registering")
            << QStringList{"-RegServer", "--help"} << 0 << usage << "^$";
        QTest::newRow("help wins over version")
            << QStringList{"--version", "--help"} << 0 << usage << "^$";
        QTest::newRow("log file without path")
            << QStringList{"--log-file"} << 2 << "^$"
            << QStringLiteral("\\Aqorlog: --log-file needs a file path\\n"
                              "Try 'qorlog --help' for more information\\.\\n\\z");
        QTest::newRow("empty log file") << QStringList{"--version", "--log-file="} << 2 << "^$"
                                        << QStringLiteral("^qorlog: --log-file needs a file path$");
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, outPattern);
        QFETCH(QString, errPattern);
        const Run result =
            run(QStringLiteral(QORLOG_PROGRAM), arguments, m_home.path(), m_environment);
        QTEST(result.exitCode, "exitCode");
        const QRegularExpression::PatternOptions options =
            QRegularExpression::MultilineOption | QRegularExpression::DontCaptureOption;
        QVERIFY2(QRegularExpression(outPattern, options).match(result.out).hasMatch(),
                 qPrintable(result.out));
        QVERIFY2(QRegularExpression(errPattern, options).match(result.err).hasMatch(),
                 qPrintable(result.err));
        // Nothing here may register the program or create a log.
        QVERIFY(!QFileInfo::exists(dataHome() + QStringLiteral("/dbus-1")));
        QVERIFY(!QFileInfo::exists(m_home.filePath(QStringLiteral("logs"))));
    }

    // Every option has one line, its description lined up with the others'.
    void helpListsOption_data()
    {
        QTest::addColumn<QString>("option");
        for (const char *option :
             {"--log-file PATH", "--report", "--due", "--csv", "-RegServer", "-UnregServer",
              "-Automation", "-Embedding", "--help", "--version"})
            QTest::newRow(option) << QString::fromLatin1(option);
    }
    void helpListsOption()
    {
        QFETCH(QString, option);
        const Run result = run(QStringLiteral(QORLOG_PROGRAM), {QStringLiteral("--help")},
                               m_home.path(), m_environment);
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.out.split(QLatin1Char('\n'));
        QList<int> columns;
        QString line;
        for (const QString &candidate : lines) {
            const int column = descriptionColumn(candidate);
            if (column < 0)
                continue;
            columns.append(column);
            if (candidate.trimmed().startsWith(option + QStringLiteral("  ")))
                line = candidate;
        }
        QVERIFY2(!line.isEmpty(), qPrintable(result.out));
        QCOMPARE(columns.size(), 10);
        QCOMPARE(descriptionColumn(line), columns.first());
        QVERIFY(line.size() > columns.first() + 10);
        // A line of help fits an 80-column terminal, the log path aside.
        for (const QString &text : lines)
            if (!text.startsWith(QLatin1String("Log file: ")))
                QVERIFY2(text.size() < 80, qPrintable(text));
    }

    void installsFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("iconSize"); // 0: not a PNG
        QTest::newRow("program") << "bin/qorlog" << 0;
        QTest::newRow("menu entry") << "share/applications/" QORLOG_DESKTOP_ID ".desktop" << 0;
        QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/qorlog.svg" << 0;
        for (int size : {16, 32, 48, 64, 128}) {
            const QString path =
                QStringLiteral("share/icons/hicolor/%1x%1/apps/qorlog.png").arg(size);
            QTest::newRow(qPrintable(path)) << path << size;
        }
        QTest::newRow("interface description")
            << "share/dbus-1/interfaces/QorLog.IQorLogCOMServer.xml" << 0;
        QTest::newRow("software-centre description")
            << "share/metainfo/" QORLOG_DESKTOP_ID ".metainfo.xml" << 0;
        QTest::newRow("manual page") << "share/man/man1/qorlog.1.gz" << 0;
        QTest::newRow("German translation") << "share/qorlog/translations/qorlog_de.qm" << 0;
    }
    void installsFile()
    {
        QVERIFY2(m_installed, qPrintable(m_installOutput));
        QFETCH(QString, path);
        QFETCH(int, iconSize);
        const QFileInfo file(installed(path));
        QVERIFY2(file.isFile(), qPrintable(file.filePath()));
        QVERIFY(file.size() > 0);
        if (iconSize == 0)
            return;
        const QImage image(file.filePath(), "PNG");
        QCOMPARE(image.size(), QSize(iconSize, iconSize));
        // An icon on a transparent ground, with a picture in the middle.
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(qAlpha(image.pixel(iconSize / 2, iconSize / 2)) > 0);
    }

    void installedProgramRuns()
    {
        QVERIFY2(m_installed, qPrintable(m_installOutput));
        const QString program = installed(QStringLiteral("bin/qorlog"));
        QVERIFY(QFileInfo(program).isExecutable());
        const Run result = run(program, {QStringLiteral("--help")}, m_home.path(), m_environment);
        QCOMPARE(result.exitCode, 0);
        // Beside the program when its folder can be written, else in the user's data folder.
        const QString expected = QFileInfo(installed(QStringLiteral("bin"))).isWritable()
                                     ? installed(QStringLiteral("bin/qorlog.QorLog"))
                                     : dataHome() + QStringLiteral("/qorlog/qorlog.QorLog");
        QVERIFY2(result.out.endsWith(QStringLiteral("\nLog file: ") + expected + QLatin1Char('\n')),
                 qPrintable(result.out));
    }

    void menuEntry_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << "Type"
                              << "Application";
        QTest::newRow("name") << "Name"
                              << "QorLog";
        QTest::newRow("generic name") << "GenericName"
                                      << "Battery charge log";
        QTest::newRow("command") << "Exec"
                                 << "qorlog";
        QTest::newRow("icon") << "Icon"
                              << "qorlog";
        QTest::newRow("terminal") << "Terminal"
                                  << "false";
        QTest::newRow("window class") << "StartupWMClass"
                                      << "qorlog";
    }
    void menuEntry()
    {
        QVERIFY2(m_installed, qPrintable(m_installOutput));
        QFETCH(QString, key);
        const QHash<QString, QString> entry = desktopEntry();
        QVERIFY2(entry.contains(key), qPrintable(key));
        QTEST(entry.value(key), "value");
    }

    void menuEntryIsValid()
    {
        QVERIFY2(m_installed, qPrintable(m_installOutput));
        const QHash<QString, QString> entry = desktopEntry();
        QVERIFY(!entry.value(QStringLiteral("Comment")).isEmpty());
        QVERIFY(entry.value(QStringLiteral("Categories")).endsWith(QLatin1Char(';')));
        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
        const Run result =
            run(validator,
                {installed(QStringLiteral("share/applications/" QORLOG_DESKTOP_ID ".desktop"))},
                m_home.path(), m_environment);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out + result.err, QString());
    }

    void installedDescriptionsParse_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("source"); // the file it must equal, if any
        QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/qorlog.svg"
                                       << "svg" << QString();
        QTest::newRow("interface")
            << "share/dbus-1/interfaces/QorLog.IQorLogCOMServer.xml"
            << "node" << QORLOG_SOURCE_DIR "/automation/QorLog.IQorLogCOMServer.xml";
        QTest::newRow("software-centre description")
            << "share/metainfo/" QORLOG_DESKTOP_ID ".metainfo.xml"
            << "component" << QString();
    }
    void installedDescriptionsParse()
    {
        QVERIFY2(m_installed, qPrintable(m_installOutput));
        QFETCH(QString, path);
        QFETCH(QString, source);
        QFile file(installed(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QXmlStreamReader reader(content);
        QVERIFY(reader.readNextStartElement());
        QTEST(reader.name().toString(), "root");
        while (!reader.atEnd())
            reader.readNext();
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        if (source.isEmpty())
            return;
        QFile original(source);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(content, original.readAll());
    }

    // Software centres join the description to the menu entry by its file name, and show the
    // version that --version prints.
    void metainfoNamesTheMenuEntry()
    {
        QVERIFY2(m_installed, qPrintable(m_installOutput));
        QFile file(installed(QStringLiteral("share/metainfo/" QORLOG_DESKTOP_ID ".metainfo.xml")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader reader(&file);
        QString id, launchable, release;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (reader.name() == QLatin1String("id"))
                id = reader.readElementText();
            else if (reader.name() == QLatin1String("launchable"))
                launchable = reader.readElementText();
            else if (reader.name() == QLatin1String("release") && release.isEmpty())
                release = reader.attributes().value(QLatin1String("version")).toString();
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QCOMPARE(launchable, id + QStringLiteral(".desktop"));
        QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/applications/") + launchable)));
        QCOMPARE(release, QStringLiteral(QORLOG_VERSION));
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
