#pragma once

// One soak run: the program and its world driven through a seeded random mix of what users,
// other programs and the machine do, the log checked against the model after every step.

#include "SoakModel.h"
#include "SoakRunner.h"
#include "SoakWorld.h"

#include <QElapsedTimer>
#include <QStringList>

#include <csignal>
#include <functional>
#include <memory>
#include <random>

namespace Soak {

struct Options
{
    quint64 seed = 1;
    qint64 durationMs = 60000;
    bool verbose = false;
    const volatile sig_atomic_t *stop = nullptr; // set: end after the step under way
};

// What a run did, for the summary.
struct Figures
{
    int steps = 0;
    int charges = 0; // confirmed to a caller
    int refused = 0;
    int unsure = 0; // calls without a certain answer, decided by the file
    int kills = 0;
    int restarts = 0;
    int terms = 0;
    int outsideChanges = 0;
    int fullDisks = 0;
    int readOnlySpells = 0;
    int unreadableSpells = 0;
    int conflictCopies = 0;
    int secondRounds = 0;
    int secondKills = 0;
    int capturesKilled = 0;
    int confirmations = 0;
    int cancellations = 0;
    int edits = 0;
    int deletions = 0;
    int undos = 0;
    int redos = 0;
    int imports = 0;
    int restores = 0;
    int purges = 0;
    int tableChecks = 0;
    int leftoverTemporaries = 0;
    void add(const Figures &other);
};

class Soak
{
public:
    Soak(const Options &options, const QString &program, const QString &base, bool root,
         const QString &display);
    ~Soak();

    // 0: no difference; 1: a difference (printed, files kept); 2: the soak could not run.
    int run();
    const Figures &figures() const { return m_figures; }
    const Model &model() const { return m_model; }

private:
    // The program and its second desktop.
    bool startMain();
    bool startSecond();
    void stopSecond(bool kill);
    QProcessEnvironment mainEnvironment() const;

    // Actions.
    void addDirect();
    void addConfirmed();
    void editRow();
    void deleteRows();
    void undoOrRedo(bool redo);
    void importCsv();
    void importCsv(bool killDuring);
    void outsideChange();
    void conflictCopy();
    void secondRound();
    void killMain();
    void terminateMain();
    void diskFull();
    void readOnlySpell();
    void unreadableSpell();
    void captureKilled();
    void duringFault();
    void checkNoLock(); // after QorLog ended cleanly
    void checkTable();  // the window's table against the file
    void restoreBackup();
    void purgeAtClose();

    // Helpers.
    ChargeCall newCharge(bool confirm);
    void settle(const ChargeCall &call, Answer answer, const QString &message);
    NewCharge newOutsideCharge();
    QString randomPresentTag();
    void waitIdle(int quietMs);
    // After keys that may save: until the log changed (at most a moment), then idle.
    void waitForSave(const QString &before);
    void verify(const Allowance &allowance = {});
    void fail(const QStringList &differences);
    void note(const QString &action);
    int pick(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(m_random)); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_random) < p; }

    // The keyboard, through xdotool on the soak's display.
    QStringList windows(const QString &title);
    QString mainWindow();
    bool keys(const QString &window, const QStringList &keys, int delayMs = 5);
    bool click(const QString &window, int dx, int dy);
    void closePopups();
    // Opens the dialog `title` through a menu entry (its access keys); empty when it did not.
    QString openFromMenu(const QString &main, const QString &menu, const QString &entry,
                         const QString &title);
    // Waits for the dialog to close; a dialog whose OK failed is cancelled (false).
    bool dialogCloses(const QString &dialog);
    bool clickTable(const QString &window);
    static QStringList firstRowOnly(); // keys that leave the first row alone selected

    Options m_options;
    QString m_program;
    QString m_display;
    std::mt19937_64 m_random;
    World m_world;
    Model m_model;
    Figures m_figures;
    PrivateBus m_bus{QStringLiteral("soak-main")};
    PrivateBus m_bus2{QStringLiteral("soak-second")};
    QorLogProcess m_main;
    std::unique_ptr<QorLogProcess> m_second;
    QStringList m_recent;
    struct PendingCopy
    {
        QString path;
        QStringList tags;
        qint64 madeAtMs = 0;
        QSet<QString> holds;   // every charge in the copy
        QStringList mayReturn; // held by the copy, then removed by a program that records no
                               // deletion: the copy, merged without a base, may bring it back
    };
    QList<PendingCopy> m_pendingCopies; // conflict copies not merged yet
    bool m_failed = false;
    bool m_lockMayBeStale = false; // a kill may have left the lock, no save took it since
    bool m_killing = false;
    int m_quietMs = 100;
    int m_chargeNumber = 0;
    int m_csvNumber = 0;
    QElapsedTimer m_clock;
    qint64 m_nextProgressMs = 300000; // a line of figures every five minutes
};

} // namespace Soak
