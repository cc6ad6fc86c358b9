// Runs a fuzz target once over every sample file and every kept fuzz finding,
// without libFuzzer, so that the ordinary test run (any compiler) keeps them fixed.

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

// The sample files a target starts from: the logs in tests/data unless the target names its own.
#ifndef QORLOG_FUZZ_SEEDS
#define QORLOG_FUZZ_SEEDS QORLOG_TEST_DATA
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList folders = app.arguments().mid(1);
    if (folders.isEmpty())
        folders = {QStringLiteral(QORLOG_FUZZ_SEEDS), QStringLiteral(QORLOG_FUZZ_REGRESSIONS)};
    int inputs = 0;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            std::printf("%s\n", qPrintable(file.fileName()));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                   std::size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
