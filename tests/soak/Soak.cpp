#include "Soak.h"

#include "BackupStore.h"
#include "ChargerLog.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace Soak {

namespace {

// Day counts of the soak's charges start here (2025-12-09) and grow by a minute per charge.
constexpr double FirstDay = 46000.0;
constexpr int RecentKept = 20;

void print(const QString &text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout);
}

QString answerText(Answer answer)
{
    switch (answer) {
    case Answer::Stored:
        return QStringLiteral("stored");
    case Answer::Refused:
        return QStringLiteral("refused");
    case Answer::Unknown:
        break;
    }
    return QStringLiteral("no certain answer");
}

// The file's identity and that of its lock, to see when saving has stopped.
QString fileStamp(const QString &path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("-");
    return QStringLiteral("%1:%2:%3.%4")
        .arg(st.st_ino)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec);
}

QString csvDateTime(double dayCount)
{
    const QDateTime start(QDate(1899, 12, 30), QTime(0, 0));
    return start.addMSecs(qint64(dayCount * 86400000.0 + 0.5))
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace

void Figures::add(const Figures &o)
{
    steps += o.steps;
    charges += o.charges;
    refused += o.refused;
    unsure += o.unsure;
    kills += o.kills;
    restarts += o.restarts;
    terms += o.terms;
    outsideChanges += o.outsideChanges;
    fullDisks += o.fullDisks;
    readOnlySpells += o.readOnlySpells;
    unreadableSpells += o.unreadableSpells;
    conflictCopies += o.conflictCopies;
    secondRounds += o.secondRounds;
    secondKills += o.secondKills;
    capturesKilled += o.capturesKilled;
    confirmations += o.confirmations;
    cancellations += o.cancellations;
    edits += o.edits;
    deletions += o.deletions;
    undos += o.undos;
    redos += o.redos;
    imports += o.imports;
    restores += o.restores;
    purges += o.purges;
    tableChecks += o.tableChecks;
    leftoverTemporaries = qMax(leftoverTemporaries, o.leftoverTemporaries);
}

Soak::Soak(const Options &options, const QString &program, const QString &base, bool root,
           const QString &display)
    : m_options(options), m_program(program), m_display(display), m_random(options.seed),
      m_world(base, root)
{
}

Soak::~Soak()
{
    stopSecond(true);
    m_main.kill();
}

// ---------------------------------------------------------------------------------------------
// The program

QProcessEnvironment Soak::mainEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_world.base() + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_world.dataHome());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_world.base() + QStringLiteral("/config"));
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

bool Soak::startMain()
{
    m_main.program = m_program;
    m_main.environment = mainEnvironment();
    m_main.outputFile = m_world.base() + QStringLiteral("/qorlog-main.txt");
    QString error;
    if (!m_main.start({QStringLiteral("--log-file"), m_world.logPath()}, m_bus.connection(),
                      error)) {
        fail({QStringLiteral("QorLog did not start: ") + error});
        return false;
    }
    m_model.newRun();
    ++m_figures.restarts;
    return true;
}

bool Soak::startSecond()
{
    if (m_second && m_second->isRunning())
        return true;
    m_second = std::make_unique<QorLogProcess>();
    m_second->program = m_program;
    QProcessEnvironment env = mainEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus2.address());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_world.base() + QStringLiteral("/runtime2"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_world.base() + QStringLiteral("/data2"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_second->environment = env;
    m_second->outputFile = m_world.base() + QStringLiteral("/qorlog-second.txt");
    QString error;
    if (!m_second->start({QStringLiteral("--log-file"), m_world.logPath()}, m_bus2.connection(),
                         error)) {
        fail({QStringLiteral("the second QorLog did not start: ") + error});
        return false;
    }
    return true;
}

void Soak::stopSecond(bool kill)
{
    if (!m_second)
        return;
    if (kill) {
        m_second->kill();
        m_lockMayBeStale = true;
    } else {
        int code = 0;
        if (!m_second->terminate(code) || code != 0)
            fail({QStringLiteral("the second QorLog did not end on SIGTERM (exit code %1)")
                      .arg(code)});
    }
    m_second.reset();
}

// ---------------------------------------------------------------------------------------------
// The run

int Soak::run()
{
    QString error;
    if (!m_world.setUp(error) || !m_bus.start(error) || !m_bus2.start(error)) {
        print(QStringLiteral("soak: cannot set up: ") + error);
        return 2;
    }
    print(QStringLiteral("seed %1 (files in %2)").arg(m_options.seed).arg(m_world.base()));
    if (!m_world.mounted())
        print(QStringLiteral("note: not root: no disk-full spells; read-only by permissions"));
    m_clock.start();
    if (!startMain())
        return 1;
    struct Action
    {
        int weight;
        std::function<void()> run;
    };
    const QList<Action> actions = {
        {34, [this] { addDirect(); }},      {5, [this] { addConfirmed(); }},
        {4, [this] { editRow(); }},         {3, [this] { deleteRows(); }},
        {5, [this] { undoOrRedo(false); }}, {3, [this] { undoOrRedo(true); }},
        {3, [this] { importCsv(); }},       {7, [this] { outsideChange(); }},
        {3, [this] { conflictCopy(); }},    {5, [this] { secondRound(); }},
        {34, [this] { killMain(); }},       {2, [this] { terminateMain(); }},
        {3, [this] { diskFull(); }},        {2, [this] { readOnlySpell(); }},
        {1, [this] { unreadableSpell(); }}, {2, [this] { restoreBackup(); }},
        {1, [this] { purgeAtClose(); }},    {2, [this] { captureKilled(); }},
        {3, [this] { checkTable(); }},
    };
    int total = 0;
    for (const Action &action : actions)
        total += action.weight;
    while (!m_failed && m_clock.elapsed() < m_options.durationMs &&
           !(m_options.stop && *m_options.stop)) {
        ++m_figures.steps;
        int roll = pick(total);
        for (const Action &action : actions) {
            if (roll < action.weight) {
                action.run();
                break;
            }
            roll -= action.weight;
        }
        if (!m_failed && !m_main.isRunning())
            fail({QStringLiteral("QorLog ended by itself")});
        if (m_failed)
            break;
        waitIdle(m_quietMs);
        verify();
        if (m_clock.elapsed() >= m_nextProgressMs) {
            m_nextProgressMs += 300000;
            print(QStringLiteral("%1 s: %2 steps, %3 charges confirmed, %4 kills, %5 outside "
                                 "changes, %6 full disks")
                      .arg(m_clock.elapsed() / 1000)
                      .arg(m_figures.steps)
                      .arg(m_figures.charges)
                      .arg(m_figures.kills)
                      .arg(m_figures.outsideChanges)
                      .arg(m_figures.fullDisks));
        }
        m_quietMs = 100;
    }
    stopSecond(false);
    if (!m_failed) {
        int code = 0;
        if (!m_main.terminate(code) || code != 0)
            fail({QStringLiteral("QorLog did not end on SIGTERM at the end (exit code %1)")
                      .arg(code)});
        else
            checkNoLock();
    }
    m_figures.leftoverTemporaries = m_world.temporaryFiles();
    if (m_failed) {
        m_world.keepFiles();
        return 1;
    }
    return 0;
}

void Soak::note(const QString &action)
{
    const QString line = QStringLiteral("step %1 (%2 s): %3")
                             .arg(m_figures.steps)
                             .arg(m_clock.elapsed() / 1000.0, 0, 'f', 1)
                             .arg(action);
    m_recent.append(line);
    while (m_recent.size() > RecentKept)
        m_recent.removeFirst();
    if (m_options.verbose)
        print(line);
}

void Soak::fail(const QStringList &differences)
{
    if (m_failed)
        return;
    m_failed = true;
    print(QStringLiteral("\nDIFFERENCE at step %1 of seed %2:")
              .arg(m_figures.steps)
              .arg(m_options.seed));
    for (const QString &difference : differences)
        print(QStringLiteral("  ") + difference);
    print(QStringLiteral("The last actions:"));
    for (const QString &line : m_recent)
        print(QStringLiteral("  ") + line);
    // What the screen showed, for a difference the windows may explain.
    runTool(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"),
             m_world.base() + QStringLiteral("/screen.png")},
            mainEnvironment());
    print(QStringLiteral("Files kept in %1 (the log's folder as %1/kept, the screen as "
                         "screen.png)")
              .arg(m_world.base()));
}

void Soak::waitIdle(int quietMs)
{
    QString last;
    QElapsedTimer quiet;
    quiet.start();
    waitFor(
        [&] {
            const QString stamp =
                fileStamp(m_world.logPath()) + QLatin1Char('|') + fileStamp(m_world.lockPath());
            if (stamp != last) {
                last = stamp;
                quiet.restart();
            }
            return quiet.elapsed() >= quietMs;
        },
        15000);
}

void Soak::waitForSave(const QString &before)
{
    // The keys are in the program's queue: a busy program takes them a moment later, and a
    // step with nothing to do (no undo left, a box in the way) changes nothing.
    waitFor([&] { return fileStamp(m_world.logPath()) != before; }, 1500);
    waitIdle(150);
}

void Soak::verify(const Allowance &allowance)
{
    if (m_failed || m_world.unreadable())
        return;
    QStringList differences;
    for (auto it = m_pendingCopies.begin(); it != m_pendingCopies.end();) {
        if (QFileInfo::exists(it->path)) {
            // Merged at the latest once a save succeeds: a minute holds many.
            if (m_clock.elapsed() - it->madeAtMs > 60000 && !m_world.diskFull() &&
                !m_world.readOnly())
                differences.append(
                    QStringLiteral("the conflict copy %1 is not merged after a minute")
                        .arg(it->path));
            ++it;
            continue;
        }
        for (const QString &tag : it->tags)
            if (m_model.expectation(tag) == Expect::Pending)
                m_model.expect(tag, Expect::Present);
        m_model.settlePending(it->mayReturn);
        it = m_pendingCopies.erase(it);
    }
    differences += m_model.check(readFileState(m_world.logPath()), allowance);
    differences += m_world.checkCopies();
    if (!differences.isEmpty())
        fail(differences);
}

// ---------------------------------------------------------------------------------------------
// Charges

ChargeCall Soak::newCharge(bool confirm)
{
    ChargeCall call;
    call.comment = m_model.newTag();
    call.dateTime = FirstDay + (++m_chargeNumber) / 1440.0;
    call.battery = QStringLiteral("Pack %1").arg(pick(8) + 1);
    call.amps = 1.5;
    call.ampHours = 0.5 + pick(4500) / 1000.0;
    call.confirm = confirm;
    return call;
}

NewCharge Soak::newOutsideCharge()
{
    const ChargeCall call = newCharge(false);
    return {call.comment, call.dateTime, call.battery, call.ampHours};
}

void Soak::settle(const ChargeCall &call, Answer answer, const QString &message)
{
    const QString &tag = call.comment;
    const double ampHours = call.ampHours;
    switch (answer) {
    case Answer::Stored:
        ++m_figures.charges;
        // A save took over any lock a kill left and let it go again.
        if (!m_killing)
            m_lockMayBeStale = false;
        m_model.expect(tag, Expect::Present, ampHours, call.battery);
        break;
    case Answer::Refused:
        ++m_figures.refused;
        m_model.expect(tag, Expect::Absent, ampHours, call.battery);
        break;
    case Answer::Unknown:
        ++m_figures.unsure;
        m_model.expect(tag, Expect::Maybe, ampHours, call.battery);
        break;
    }
    if (answer != Answer::Stored && m_options.verbose)
        note(QStringLiteral("  %1 %2: %3").arg(tag, answerText(answer), message));
}

QString Soak::randomPresentTag()
{
    const QStringList tags = m_model.presentTags();
    return tags.isEmpty() ? QString() : tags.at(pick(int(tags.size())));
}

void Soak::addDirect()
{
    // One caller, or a few one after the other.
    for (int i = chance(0.5) ? 2 : 1; i > 0 && !m_failed; --i) {
        const ChargeCall call = newCharge(false);
        note(QStringLiteral("AddCharge %1").arg(call.comment));
        QDBusPendingCall pending = sendAddCharge(m_bus.connection(), call);
        QString message;
        settle(call, answerOf(pending, message), message);
    }
}

void Soak::addConfirmed()
{
    const ChargeCall call = newCharge(true);
    const bool confirm = chance(0.7);
    note(QStringLiteral("AddCharge %1 with confirmation, then %2")
             .arg(call.comment, confirm ? QStringLiteral("OK") : QStringLiteral("Cancel")));
    closePopups();
    QDBusPendingCall pending = sendAddCharge(m_bus.connection(), call);
    QString message;
    const Answer answer = answerOf(pending, message);
    if (answer != Answer::Stored) {
        // The dialog never opened: nothing may be stored.
        settle(call, answer == Answer::Refused ? Answer::Refused : Answer::Unknown, message);
        return;
    }
    QString dialog;
    waitFor(
        [&] {
            const QStringList found = windows(QStringLiteral("ChargeData"));
            dialog = found.isEmpty() ? QString() : found.constLast();
            return !dialog.isEmpty();
        },
        10000);
    if (dialog.isEmpty()) {
        fail({QStringLiteral("the confirmation dialog of %1 did not open").arg(call.comment)});
        return;
    }
    keys(dialog, {confirm ? QStringLiteral("Return") : QStringLiteral("Escape")});
    if (!dialogCloses(dialog)) {
        // OK could not store it (the reason is shown) and the user gave up; or the program was
        // too busy to take the key in time and took it later: the file tells.
        m_model.expect(call.comment, Expect::Maybe, call.ampHours, call.battery);
        ++m_figures.cancellations;
        return;
    }
    if (confirm) {
        ++m_figures.confirmations;
        ++m_figures.charges;
        m_model.expect(call.comment, Expect::Present, call.ampHours, call.battery);
    } else {
        ++m_figures.cancellations;
        m_model.expect(call.comment, Expect::Absent, call.ampHours, call.battery);
    }
}

void Soak::editRow()
{
    const QString main = mainWindow();
    if (main.isEmpty() || !clickTable(main))
        return;
    const QString tag = m_model.newTag();
    m_model.expect(tag, Expect::Absent); // until the file shows the edit
    const int down = pick(30);
    note(QStringLiteral("edit row %1 to %2 in the charge data dialog").arg(down).arg(tag));
    QStringList sequence = firstRowOnly();
    for (int i = 0; i < down; ++i)
        sequence << QStringLiteral("Down");
    sequence << QStringLiteral("Return");
    keys(main, sequence);
    QString dialog;
    waitFor(
        [&] {
            const QStringList found = windows(QStringLiteral("ChargeData"));
            dialog = found.isEmpty() ? QString() : found.constLast();
            return !dialog.isEmpty();
        },
        5000);
    if (dialog.isEmpty())
        return; // an empty table
    // The dialog opens on the power source; the comment is six fields on.
    QStringList edit;
    for (int i = 0; i < 6; ++i)
        edit << QStringLiteral("Tab");
    edit << QStringLiteral("ctrl+a");
    keys(dialog, edit);
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"), tag},
            mainEnvironment());
    keys(dialog, {QStringLiteral("Return")});
    dialogCloses(dialog);
    ++m_figures.edits;
    waitIdle(300);
    Allowance allowance;
    allowance.editedTo = tag;
    verify(allowance);
}

void Soak::deleteRows()
{
    const QString main = mainWindow();
    if (main.isEmpty() || !clickTable(main))
        return;
    const int down = pick(30);
    const int more = pick(4);
    note(QStringLiteral("Delete Selection of %1 rows from row %2").arg(more + 1).arg(down));
    QStringList sequence = firstRowOnly();
    for (int i = 0; i < down; ++i)
        sequence << QStringLiteral("Down");
    for (int i = 0; i < more; ++i)
        sequence << QStringLiteral("shift+Down");
    sequence << QStringLiteral("Delete");
    const QString before = fileStamp(m_world.logPath());
    keys(main, sequence);
    ++m_figures.deletions;
    waitForSave(before);
    Allowance allowance;
    allowance.deletions = more + 1;
    verify(allowance);
}

void Soak::undoOrRedo(bool redo)
{
    const QString main = mainWindow();
    if (main.isEmpty())
        return;
    closePopups();
    note(redo ? QStringLiteral("Redo (ctrl+shift+z)") : QStringLiteral("Undo (ctrl+z)"));
    const QString before = fileStamp(m_world.logPath());
    keys(main, {redo ? QStringLiteral("ctrl+shift+z") : QStringLiteral("ctrl+z")});
    ++(redo ? m_figures.redos : m_figures.undos);
    waitForSave(before);
    Allowance allowance;
    allowance.flip = true;
    verify(allowance);
}

void Soak::importCsv()
{
    importCsv(false);
}

void Soak::importCsv(bool killDuring)
{
    const int rows = 1 + pick(4);
    const QString path = m_world.base() + QStringLiteral("/csv/import-%1.csv").arg(++m_csvNumber);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream out(&file);
    out << "DateTime,DayCount,PowerSource,Charger,Battery,NominalChargeAmps,AmpHours,Termination,"
           "Comment,ChargerLogFileName\r\n";
    QList<ChargeCall> calls;
    for (int i = 0; i < rows; ++i) {
        const ChargeCall call = newCharge(false);
        calls.append(call);
        out << csvDateTime(call.dateTime) << ',' << QString::number(call.dateTime, 'g', 17)
            << ",Mains,Importer," << call.battery << ',' << call.amps << ','
            << QString::number(call.ampHours, 'g', 17) << ",Normal," << call.comment << ",\r\n";
    }
    file.close();
    const QStringList arguments = {QStringLiteral("--import-csv"), path,
                                   QStringLiteral("--log-file"), m_world.logPath()};
    ++m_figures.imports;
    if (!killDuring) {
        note(QStringLiteral("--import-csv of %1 rows (%2 .. %3)")
                 .arg(rows)
                 .arg(calls.constFirst().comment, calls.constLast().comment));
        const ToolResult result = runTool(m_program, arguments, mainEnvironment(), 60000);
        const Answer answer = !result.finished       ? Answer::Unknown
                              : result.exitCode == 0 ? Answer::Stored
                              : result.exitCode == 1 ? Answer::Refused
                                                     : Answer::Unknown;
        for (const ChargeCall &call : calls)
            settle(call, answer, result.err.trimmed());
        return;
    }
    // The program that the import is handed to is killed meanwhile: an import that says it
    // failed may have been stored all the same (a retry adds nothing twice).
    const int delayMs = pick(80);
    note(QStringLiteral("--import-csv of %1 rows (%2 .. %3), SIGKILL after %4 ms")
             .arg(rows)
             .arg(calls.constFirst().comment, calls.constLast().comment)
             .arg(delayMs));
    QProcess import;
    import.setProcessEnvironment(mainEnvironment());
    import.start(m_program, arguments);
    import.waitForStarted(10000);
    pause(delayMs);
    m_main.kill();
    ++m_figures.kills;
    m_lockMayBeStale = true;
    const bool ended = import.waitForFinished(60000);
    const bool stored =
        ended && import.exitStatus() == QProcess::NormalExit && import.exitCode() == 0;
    m_killing = true;
    for (const ChargeCall &call : calls)
        settle(call, stored ? Answer::Stored : Answer::Unknown,
               QString::fromLocal8Bit(import.readAllStandardError()).trimmed());
    m_killing = false;
    if (!ended)
        import.kill();
    waitIdle(100);
    verify();
    if (!m_failed)
        startMain();
    m_quietMs = 400;
}

void Soak::outsideChange()
{
    const int kind = pick(3); // 0 adds, 1 removes, 2 rewrites in place
    QList<NewCharge> added;
    QStringList removed;
    if (kind != 1)
        for (int i = pick(3); i >= 0; --i)
            added.append(newOutsideCharge());
    if (kind != 0)
        for (int i = pick(2); i >= 0; --i) {
            const QString tag = randomPresentTag();
            if (!tag.isEmpty() && !removed.contains(tag))
                removed.append(tag);
        }
    QStringList addedTags;
    for (const NewCharge &charge : added)
        addedTags.append(charge.tag);
    note(QStringLiteral("another program %1: adds %2, removes %3")
             .arg(kind == 2 ? QStringLiteral("rewrites the file in place")
                            : QStringLiteral("replaces the file"),
                  addedTags.join(QLatin1Char(' ')), removed.join(QLatin1Char(' '))));
    QString error;
    if (!m_world.changeFile(added, removed, kind == 2, error)) {
        fail({QStringLiteral("the other program could not change the log: ") + error});
        return;
    }
    ++m_figures.outsideChanges;
    for (const NewCharge &charge : added)
        m_model.expect(charge.tag, Expect::Present, charge.ampHours, charge.battery);
    for (const QString &tag : removed) {
        // A conflict copy made before this removal still holds the charge. Should QorLog end
        // before it sees the removal, nothing tells it the charge was deleted (this program
        // records no deletions), and the copy, merged without a base, adds it as the other
        // side's: it may be there again until the copy is merged.
        PendingCopy *holder = nullptr;
        for (PendingCopy &copy : m_pendingCopies)
            if (copy.holds.contains(tag))
                holder = &copy;
        m_model.expect(tag, holder ? Expect::Pending : Expect::Absent);
        if (holder)
            holder->mayReturn.append(tag);
    }
    m_quietMs = 900; // the program looks at a changed file once it has settled
}

void Soak::conflictCopy()
{
    QList<NewCharge> added;
    for (int i = pick(2); i >= 0; --i)
        added.append(newOutsideCharge());
    QStringList tags;
    for (const NewCharge &charge : added) {
        tags.append(charge.tag);
        m_model.expect(charge.tag, Expect::Pending, charge.ampHours, charge.battery);
    }
    QString error;
    const QString path = m_world.makeConflictCopy(added, error);
    note(QStringLiteral("a conflict copy appears with %1").arg(tags.join(QLatin1Char(' '))));
    if (path.isEmpty()) {
        fail({QStringLiteral("cannot write a conflict copy: ") + error});
        return;
    }
    ++m_figures.conflictCopies;
    const FileState copy = readFileState(path);
    QSet<QString> holds;
    for (auto it = copy.counts.cbegin(); it != copy.counts.cend(); ++it)
        holds.insert(it.key());
    m_pendingCopies.append({path, tags, m_clock.elapsed(), holds, {}});
    m_quietMs = 900;
}

void Soak::secondRound()
{
    if (!startSecond())
        return;
    const int rounds = 1 + pick(3);
    QList<QPair<ChargeCall, QDBusPendingCall>> calls;
    QStringList tags;
    for (int i = 0; i < rounds; ++i) {
        for (PrivateBus *bus : {&m_bus, &m_bus2}) {
            const ChargeCall call = newCharge(false);
            tags.append(call.comment);
            calls.append({call, sendAddCharge(bus->connection(), call)});
        }
    }
    note(QStringLiteral("both QorLogs add at once: %1").arg(tags.join(QLatin1Char(' '))));
    ++m_figures.secondRounds;
    const bool killUnder = chance(0.1);
    if (killUnder) {
        // The second desktop dies while both save: its calls have no certain answer.
        pause(pick(30));
        note(QStringLiteral("the second QorLog is killed while it saves"));
        ++m_figures.secondKills;
        stopSecond(true);
    }
    m_killing = killUnder; // the lock it may have held stays until a save after this one
    for (auto &[call, pending] : calls) {
        QString message;
        settle(call, answerOf(pending, message), message);
    }
    m_killing = false;
    if (!killUnder && chance(0.15)) {
        note(QStringLiteral("the second QorLog is killed"));
        ++m_figures.secondKills;
        stopSecond(true);
    } else if (!killUnder && chance(0.2)) {
        note(QStringLiteral("the second QorLog ends (SIGTERM)"));
        stopSecond(false);
    }
    m_quietMs = 700;
}

void Soak::killMain()
{
    // 0 idle; 1 during a call; 2 during a burst of calls; 3 after an undo, redo or delete key;
    // 4 while another program's change settles; 5 while both QorLogs take calls; 6 while an
    // import is handed over.
    const int how = pick(7);
    if (how == 6) {
        importCsv(true);
        return;
    }
    QList<QPair<ChargeCall, QDBusPendingCall>> calls;
    Allowance allowance;
    int delayMs = pick(40);
    if (how == 1 || how == 2) {
        for (int i = how == 1 ? 1 : 2 + pick(4); i > 0; --i) {
            const ChargeCall call = newCharge(false);
            calls.append({call, sendAddCharge(m_bus.connection(), call)});
        }
        note(QStringLiteral("SIGKILL %1 ms after %2 calls").arg(delayMs).arg(calls.size()));
    } else if (how == 3) {
        const QString main = mainWindow();
        const int key = pick(3);
        if (main.isEmpty() || (key == 2 && !clickTable(main)))
            return;
        closePopups();
        note(QStringLiteral("SIGKILL %1 ms after the %2 key")
                 .arg(delayMs)
                 .arg(key == 0   ? QStringLiteral("Undo")
                      : key == 1 ? QStringLiteral("Redo")
                                 : QStringLiteral("Delete")));
        keys(main, key == 0   ? QStringList{QStringLiteral("ctrl+z")}
                   : key == 1 ? QStringList{QStringLiteral("ctrl+shift+z")}
                              : firstRowOnly() << QStringLiteral("Delete"));
        allowance.flip = key != 2;
        allowance.deletions = key == 2 ? 1 : 0;
    } else if (how == 4) {
        outsideChange();
        delayMs = pick(800);
        note(QStringLiteral("SIGKILL %1 ms after the other program's change").arg(delayMs));
    } else if (how == 5) {
        if (!startSecond())
            return;
        for (int i = 1 + pick(3); i > 0; --i)
            for (PrivateBus *bus : {&m_bus, &m_bus2}) {
                const ChargeCall call = newCharge(false);
                calls.append({call, sendAddCharge(bus->connection(), call)});
            }
        note(QStringLiteral("SIGKILL %1 ms after calls to both QorLogs").arg(delayMs));
    } else {
        delayMs = 0;
        note(QStringLiteral("SIGKILL while idle"));
    }
    if (m_failed)
        return;
    if (delayMs > 0)
        pause(delayMs);
    m_main.kill();
    ++m_figures.kills;
    m_lockMayBeStale = true;
    m_killing = true;
    for (auto &[call, pending] : calls) {
        QString message;
        settle(call, answerOf(pending, message), message);
    }
    m_killing = false;
    waitIdle(100);     // the second QorLog may still be saving
    verify(allowance); // the file as the kill left it
    if (!m_failed)
        startMain();
    m_quietMs = 400;
}

void Soak::checkTable()
{
    const QString main = mainWindow();
    if (main.isEmpty() || !clickTable(main))
        return;
    note(QStringLiteral("the table copied (Select All, Copy) and compared with the file"));
    keys(main, {QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")});
    const ToolResult copied = runTool(QCoreApplication::applicationFilePath(),
                                      {QStringLiteral("--print-clipboard")}, mainEnvironment());
    QStringList lines = copied.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return; // nothing copied: an empty table, or a box in the way
    const int column =
        lines.takeFirst().split(QLatin1Char('\t')).indexOf(QStringLiteral("Comment"));
    if (column < 0)
        return;
    QHash<QString, int> shown;
    for (const QString &line : lines)
        shown[line.split(QLatin1Char('\t')).value(column)] += 1;
    const FileState file = readFileState(m_world.logPath());
    if (!file.readable)
        return;
    QHash<QString, int> held = file.counts;
    for (const QString &stranger : file.strangers)
        held[stranger] += 1;
    QStringList differences;
    QSet<QString> tags;
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        tags.insert(it.key());
    for (auto it = held.cbegin(); it != held.cend(); ++it)
        tags.insert(it.key());
    for (const QString &tag : tags)
        if (shown.value(tag) != held.value(tag))
            differences.append(QStringLiteral("the table shows %1 %2 times, the file holds it %3 "
                                              "times")
                                   .arg(tag)
                                   .arg(shown.value(tag))
                                   .arg(held.value(tag)));
    ++m_figures.tableChecks;
    if (!differences.isEmpty())
        fail(differences);
}

void Soak::checkNoLock()
{
    const bool secondRuns = m_second && m_second->isRunning();
    if (!secondRuns && !m_lockMayBeStale && QFileInfo::exists(m_world.lockPath()))
        fail({QStringLiteral("the lock is left behind after QorLog ended")});
}

void Soak::terminateMain()
{
    note(QStringLiteral("SIGTERM, then a new start"));
    int code = 0;
    const bool ended = m_main.terminate(code);
    ++m_figures.terms;
    if (!ended || code != 0) {
        fail({QStringLiteral("QorLog did not end cleanly on SIGTERM (exit code %1)").arg(code)});
        return;
    }
    checkNoLock();
    verify();
    if (!m_failed)
        startMain();
    m_quietMs = 400;
}

void Soak::diskFull()
{
    QString error;
    if (!m_world.fillDisk(error)) {
        addDirect();
        return;
    }
    ++m_figures.fullDisks;
    note(QStringLiteral("the disk is full"));
    for (int i = pick(3); i >= 0 && !m_failed; --i) {
        duringFault();
        waitIdle(100);
        verify();
    }
    m_world.freeDisk();
    note(QStringLiteral("the disk has room again"));
}

// What a user or program does while the disk is full or the folder read-only.
void Soak::duringFault()
{
    switch (pick(10)) {
    case 0:
        undoOrRedo(chance(0.3));
        break;
    case 1:
        importCsv();
        break;
    case 2:
        addConfirmed();
        break;
    case 3:
        editRow();
        break;
    case 4:
        deleteRows();
        break;
    case 5:
        restoreBackup();
        break;
    default:
        addDirect();
        break;
    }
}

void Soak::readOnlySpell()
{
    QString error;
    if (!m_world.setReadOnly(true, error)) {
        note(QStringLiteral("no read-only spell: ") + error);
        return;
    }
    ++m_figures.readOnlySpells;
    note(QStringLiteral("the folder is read-only"));
    for (int i = pick(2); i >= 0 && !m_failed; --i) {
        duringFault();
        waitIdle(100);
        verify();
    }
    if (!m_world.setReadOnly(false, error))
        fail({error});
    note(QStringLiteral("the folder is writable again"));
}

void Soak::unreadableSpell()
{
    QString error;
    if (!m_world.makeUnreadable(error)) {
        fail({error});
        return;
    }
    ++m_figures.unreadableSpells;
    note(QStringLiteral("the log is unreadable (a named pipe in its place)"));
    pause(200 + pick(1200));
    if (chance(0.5))
        addDirect();
    if (!m_world.makeReadable(error))
        fail({error});
    note(QStringLiteral("the log reads again"));
    m_quietMs = 900;
}

void Soak::captureKilled()
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    termios raw;
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave); // the capture opens it by name
    const auto closeMaster = qScopeGuard([master] { ::close(master); });
    const QString folder = m_world.logPath() + QStringLiteral("-charger-logs");
    const QStringList before = QDir(folder).entryList(QDir::Files);
    const ToolResult started = runTool(m_program,
                                       {QStringLiteral("--capture"), QString::fromLocal8Bit(name),
                                        QStringLiteral("--capture-idle"), QStringLiteral("60"),
                                        QStringLiteral("--log-file"), m_world.logPath()},
                                       mainEnvironment(), 30000);
    if (started.exitCode != 0) {
        fail({QStringLiteral("--capture on a pseudo-terminal failed: ") + started.err.trimmed()});
        return;
    }
    QFile source(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/dollar-storage-ch1.txt"));
    QList<QByteArray> lines;
    if (source.open(QIODevice::ReadOnly))
        for (const QByteArray &line : source.readAll().split('\n'))
            if (line.trimmed().startsWith('$'))
                lines.append(line.trimmed());
    lines = lines.mid(0, 20 + pick(100));
    const int killAfterMs = pick(300);
    note(QStringLiteral("a capture of %1 lines on %2, killed %3 ms after its file appeared")
             .arg(lines.size())
             .arg(QString::fromLocal8Bit(name))
             .arg(killAfterMs));
    QByteArray stream;
    for (const QByteArray &line : lines)
        stream += line + "\r\n";
    for (qsizetype done = 0; done < stream.size();) {
        const ssize_t written = ::write(master, stream.constData() + done,
                                        size_t(qMin<qsizetype>(stream.size() - done, 512)));
        if (written <= 0)
            break;
        done += written;
    }
    QString captured;
    waitFor(
        [&] {
            for (const QString &file : QDir(folder).entryList(QDir::Files))
                if (!before.contains(file))
                    captured = folder + QLatin1Char('/') + file;
            return !captured.isEmpty();
        },
        10000);
    if (captured.isEmpty()) {
        fail({QStringLiteral("the capture wrote no file in %1").arg(folder)});
        return;
    }
    pause(killAfterMs);
    m_main.kill();
    ++m_figures.kills;
    ++m_figures.capturesKilled;
    m_lockMayBeStale = true;
    // What the kill left: a charger log that reads, holding the first lines sent, in order.
    const ChargerLog::TChargerLog log = ChargerLog::readFile(captured);
    QList<QByteArray> kept;
    QFile file(captured);
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.trimmed().startsWith('$'))
                kept.append(line.trimmed());
    if (!kept.isEmpty() && !log.ok())
        fail({QStringLiteral("the killed capture's file does not read: ") + log.error});
    else if (kept != lines.mid(0, kept.size()))
        fail({QStringLiteral("the killed capture's file holds other lines than were sent")});
    verify();
    if (!m_failed)
        startMain();
    m_quietMs = 300;
}

void Soak::restoreBackup()
{
    const QList<TBackupInfo> backups =
        TBackupStore(m_world.logPath(), m_world.fallbackParent()).backups();
    const QString main = mainWindow();
    if (backups.isEmpty() || main.isEmpty())
        return;
    const int index = pick(int(qMin(backups.size(), qsizetype(6))));
    const FileState backup = readFileState(backups.at(index).Path);
    note(QStringLiteral("Restore Backup of %1 (%2 charges)")
             .arg(QFileInfo(backups.at(index).Path).fileName())
             .arg(backup.charges));
    closePopups();
    const QString dialog = openFromMenu(main, QStringLiteral("alt+f"), QStringLiteral("r"),
                                        QStringLiteral("Restore Backup"));
    if (dialog.isEmpty())
        return;
    QStringList choose;
    for (int i = 0; i < index; ++i)
        choose << QStringLiteral("Down");
    choose << QStringLiteral("Return");
    keys(dialog, choose);
    if (!waitFor([&] { return !windows(QStringLiteral("Restore Backup")).contains(dialog); }, 5000))
        keys(dialog, {QStringLiteral("Escape")});
    ++m_figures.restores;
    waitIdle(300);
    Allowance allowance;
    allowance.restore = backup.readable;
    for (auto it = backup.counts.cbegin(); it != backup.counts.cend(); ++it)
        allowance.restored.insert(it.key());
    verify(allowance);
}

void Soak::purgeAtClose()
{
    const QString main = mainWindow();
    if (main.isEmpty())
        return;
    closePopups();
    const bool purge = chance(0.7);
    const int row = pick(8);
    note(QStringLiteral("Filter Batteries: row %1 removed, then Quit and %2")
             .arg(row)
             .arg(purge ? QStringLiteral("the purge") : QStringLiteral("no purge")));
    const QString filter = openFromMenu(main, QStringLiteral("alt+v"), QStringLiteral("b"),
                                        QStringLiteral("Filter Batteries"));
    if (filter.isEmpty())
        return;
    QStringList down;
    for (int i = 0; i < row; ++i)
        down << QStringLiteral("Down");
    if (!down.isEmpty())
        keys(filter, down);
    // The buttons by their place: Return would press the focused Remove again.
    click(filter, 136, 293); // Remove
    click(filter, 311, 293); // OK
    waitFor([&] { return !windows(QStringLiteral("Filter Batteries")).contains(filter); }, 5000);
    keys(main, {QStringLiteral("ctrl+q")});
    QString question;
    waitFor(
        [&] {
            const QStringList found = windows(QStringLiteral("Confirm"));
            question = found.isEmpty() ? QString() : found.constLast();
            return !question.isEmpty() || !m_main.isRunning();
        },
        5000);
    if (!question.isEmpty()) {
        keys(question, {purge ? QStringLiteral("alt+o") : QStringLiteral("alt+n")});
        // The purge shows what goes once more: OK.
        waitFor(
            [&] {
                for (const QString &review : windows(QStringLiteral("Delete Batteries")))
                    click(review, 311, 293); // OK
                return !m_main.isRunning();
            },
            10000);
    }
    if (m_main.isRunning()) {
        fail({QStringLiteral("QorLog did not end after Quit")});
        return;
    }
    checkNoLock();
    ++m_figures.purges;
    Allowance allowance;
    allowance.purge = purge;
    verify(allowance);
    if (!m_failed)
        startMain();
    m_quietMs = 300;
}

} // namespace Soak
