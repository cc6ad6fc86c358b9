// qorlog --charger-log: the real program prints the figures or the samples of a charger's log,
// without a display, and refuses a file it cannot read with nothing on standard output.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out, err;
};

Run runProgram(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    // German number settings must not change the "." of the output.
    env.insert(QStringLiteral("LC_NUMERIC"), QStringLiteral("de_DE.UTF-8"));
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QORLOG_PROGRAM), arguments);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QString sample(const char *name)
{
    return QStringLiteral(QORLOG_TEST_DATA "/charger-logs/") + QLatin1String(name);
}

} // namespace

class TestChargerLogCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void figures()
    {
        const Run run =
            runProgram({QStringLiteral("--charger-log"), sample("dollar-storage-ch1.txt")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.value(0), QByteArray("Format: $ lines"));
        QVERIFY(lines.contains("Samples: 447"));
        QVERIFY(lines.contains("Charged: 0.464 Ah"));
        QVERIFY(lines.contains("Cells: 6"));
        QVERIFY(!run.out.contains("Discharged"));
        for (const QByteArray &line : lines)
            QVERIFY2(line.contains(": "), line.constData());
    }

    void samplesAsCsv()
    {
        const Run run = runProgram({QStringLiteral("--charger-log"),
                                    sample("titled-analyser-aa.csv"), QStringLiteral("--csv")});
        QCOMPARE(run.exitCode, 0);
        const QList<QByteArray> rows = run.out.split('\n');
        QCOMPARE(rows.size(), 1563 + 2); // header, samples, nothing after the last CRLF
        QCOMPARE(rows.first(), QByteArray("Seconds,Phase,Voltage,Current,Capacity,Temperature\r"));
        QCOMPARE(rows.at(2), QByteArray("15.402,discharge,1.46,-0.5,0.00214,\r"));
    }

    void unreadableFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("project.zip"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("PK\x03\x04\x14\0\0\0\0\0", 10));
        file.close();
        for (const QStringList &extra : {QStringList(), QStringList{QStringLiteral("--csv")}}) {
            const Run run = runProgram(QStringList{QStringLiteral("--charger-log"), path} + extra);
            QCOMPARE(run.exitCode, 1);
            QVERIFY(run.out.isEmpty());
            QVERIFY2(run.err.startsWith("qorlog: ") && run.err.contains("project.zip"),
                     run.err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestChargerLogCommand)
#include "tst_chargerlogcommand.moc"
