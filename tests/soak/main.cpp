// qorlog_soak: drives the real program through a seeded random mix of use and faults and
// checks the log after every step (see README, "The soak").
//
//   qorlog_soak --quick               a fixed set of seeds, about a minute and a half in all
//   qorlog_soak --hours H | --minutes M [--seed S] [--verbose]

#include "Soak.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Soak;

namespace {

// As root, a mount namespace of the soak's own, so that its tmpfs is nobody else's and goes
// with it.
volatile sig_atomic_t g_stop = 0;

void stopSoon(int)
{
    g_stop = 1;
}

bool privateMounts()
{
    if (::geteuid() != 0)
        return false;
    if (::unshare(CLONE_NEWNS) != 0)
        return false;
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

void printFigures(const Figures &f, const Model &m, qint64 ms)
{
    std::printf("\nsteps %d in %.0f s\n"
                "charges confirmed %d (refused %d, without a certain answer %d)\n"
                "kills and restarts %d (restarts in all %d, SIGTERM %d)\n"
                "outside changes %d, conflict copies %d\n"
                "full disks %d, read-only spells %d, unreadable spells %d\n"
                "second-QorLog rounds %d (killed %d), captures killed %d\n"
                "confirmation dialogs OK %d / cancelled %d, edits %d, Delete Selection %d "
                "(rows gone %d), undo %d, redo %d (charges brought back or taken away %d), "
                "imports %d, Restore Backup %d (done %d), purges at close %d (charges purged %d)\n"
                "lost %d, duplicated %d, resurrected %d\n"
                "the table compared with the file %d times\n"
                "save files left by kills: %d\n",
                f.steps, ms / 1000.0, f.charges, f.refused, f.unsure, f.kills, f.restarts, f.terms,
                f.outsideChanges, f.conflictCopies, f.fullDisks, f.readOnlySpells,
                f.unreadableSpells, f.secondRounds, f.secondKills, f.capturesKilled,
                f.confirmations, f.cancellations, m.edits, f.deletions, m.deletedByUser, f.undos,
                f.redos, m.flips, f.imports, f.restores, m.restores, f.purges, m.purged, m.lost,
                m.duplicated, m.resurrected, f.tableChecks, f.leftoverTemporaries);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    // The soak's helper: what the X clipboard holds (the table's rows that QorLog copied).
    if (argc == 2 && std::strcmp(argv[1], "--print-clipboard") == 0) {
        QGuiApplication app(argc, argv);
        std::fputs(QGuiApplication::clipboard()->text().toUtf8().constData(), stdout);
        return 0;
    }
    const bool root = privateMounts();
    QCoreApplication app(argc, argv);
    // SIGINT and SIGTERM end the run after the step under way, so that nothing is left running.
    struct sigaction action = {};
    action.sa_handler = stopSoon;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak test of QorLog"));
    parser.addHelpOption();
    const QCommandLineOption quick(
        QStringLiteral("quick"), QStringLiteral("a fixed set of seeds, about a minute and a half"));
    const QCommandLineOption hours(QStringLiteral("hours"), QStringLiteral("run H hours"),
                                   QStringLiteral("H"));
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("run M minutes"),
                                     QStringLiteral("M"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("the seed"),
                                  QStringLiteral("S"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("print every step"));
    const QCommandLineOption program(QStringLiteral("program"),
                                     QStringLiteral("the qorlog to drive"), QStringLiteral("PATH"),
                                     QStringLiteral(QORLOG_PROGRAM));
    parser.addOptions({quick, hours, minutes, seed, verbose, program});
    parser.process(app);

    QList<quint64> seeds;
    qint64 perSeedMs = 0;
    if (parser.isSet(quick)) {
        seeds = {1, 2, 3};
        perSeedMs = 25000;
    } else {
        const double h = parser.value(hours).toDouble();
        const double m = parser.value(minutes).toDouble();
        perSeedMs = qint64((h * 60 + m) * 60000);
        if (perSeedMs <= 0)
            perSeedMs = 60000;
        seeds = {parser.isSet(seed) ? parser.value(seed).toULongLong()
                                    : quint64(QDateTime::currentSecsSinceEpoch())};
    }
    std::printf("qorlog_soak: seeds");
    for (quint64 s : seeds)
        std::printf(" %llu", static_cast<unsigned long long>(s));
    std::printf(", %.0f s each%s\n", perSeedMs / 1000.0, root ? "" : " (not root: no full disks)");
    std::fflush(stdout);

    XServer display;
    QString error;
    if (!display.start(error)) {
        std::printf("qorlog_soak: %s\n", qPrintable(error));
        return 2;
    }
    Figures all;
    int lost = 0, duplicated = 0, resurrected = 0, flips = 0, deletedByUser = 0, edits = 0,
        restores = 0, purged = 0;
    QElapsedTimer clock;
    clock.start();
    for (quint64 s : seeds) {
        Options options;
        options.seed = s;
        options.durationMs = perSeedMs;
        options.verbose = parser.isSet(verbose);
        options.stop = &g_stop;
        const QString base =
            QDir::tempPath() +
            QStringLiteral("/qorlog-soak-%1-%2").arg(s).arg(QCoreApplication::applicationPid());
        int result = 0;
        {
            Soak::Soak soak(options, parser.value(program), base, root, display.display());
            result = soak.run();
            all.add(soak.figures());
            lost += soak.model().lost;
            duplicated += soak.model().duplicated;
            resurrected += soak.model().resurrected;
            flips += soak.model().flips;
            edits += soak.model().edits;
            restores += soak.model().restores;
            purged += soak.model().purged;
            deletedByUser += soak.model().deletedByUser;
            printFigures(soak.figures(), soak.model(), clock.elapsed());
        }
        if (result != 0)
            return result;
        if (g_stop) {
            std::printf("soak stopped\n");
            return 3;
        }
        QDir(base).removeRecursively();
    }
    if (seeds.size() > 1) {
        Model totals;
        totals.lost = lost;
        totals.duplicated = duplicated;
        totals.resurrected = resurrected;
        totals.flips = flips;
        totals.deletedByUser = deletedByUser;
        totals.edits = edits;
        totals.restores = restores;
        totals.purged = purged;
        std::printf("\nall seeds:");
        printFigures(all, totals, clock.elapsed());
    }
    std::printf("soak passed\n");
    return 0;
}
