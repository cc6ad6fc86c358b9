// The soak's hands on the keyboard and mouse: the program's windows found by their titles on the
// soak's display, keys and clicks sent to them through xdotool.

#include "Soak.h"

namespace Soak {

QStringList Soak::windows(const QString &title)
{
    const ToolResult result =
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(m_main.pid()), QStringLiteral("--name"),
                 QLatin1Char('^') + title + QLatin1Char('$')},
                mainEnvironment(), 10000);
    return result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString Soak::mainWindow()
{
    // Notices carry the program's name as their title too: the main window is the widest.
    QString best;
    int widest = 0;
    for (const QString &window : windows(QStringLiteral("QorLog"))) {
        const ToolResult geometry =
            runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), window},
                    mainEnvironment(), 10000);
        const int at = geometry.out.indexOf(QStringLiteral("Geometry: "));
        const int width =
            at < 0 ? 0 : geometry.out.mid(at + 10).section(QLatin1Char('x'), 0, 0).toInt();
        if (width > widest) {
            widest = width;
            best = window;
        }
    }
    return best;
}

bool Soak::keys(const QString &window, const QStringList &keys, int delayMs)
{
    QStringList arguments = {
        QStringLiteral("windowfocus"), QStringLiteral("--sync"),  window,
        QStringLiteral("key"),         QStringLiteral("--delay"), QString::number(delayMs)};
    arguments += keys;
    return runTool(QStringLiteral("xdotool"), arguments, mainEnvironment(), 20000).exitCode == 0;
}

QString Soak::openFromMenu(const QString &main, const QString &menu, const QString &entry,
                           const QString &title)
{
    for (int attempt = 1; attempt <= 3; ++attempt) {
        closePopups();
        keys(main, {menu, entry}, 80);
        QString dialog;
        waitFor(
            [&] {
                const QStringList found = windows(title);
                dialog = found.isEmpty() ? QString() : found.constLast();
                return !dialog.isEmpty();
            },
            2000);
        if (!dialog.isEmpty())
            return dialog;
        keys(main, {QStringLiteral("Escape")}); // a menu left open
    }
    note(QStringLiteral("  the dialog \"%1\" did not open from the menu").arg(title));
    return QString();
}

bool Soak::dialogCloses(const QString &dialog)
{
    const auto gone = [&] { return !windows(QStringLiteral("ChargeData")).contains(dialog); };
    const bool fault = m_world.diskFull() || m_world.readOnly();
    if (waitFor(gone, fault ? 1500 : 5000))
        return true;
    // Its OK failed and says why: the error is acknowledged and the dialog cancelled.
    closePopups();
    if (!waitFor(gone, 5000))
        fail({QStringLiteral("a charge data dialog does not close")});
    return false;
}

void Soak::closePopups()
{
    for (int round = 0; round < 5; ++round) {
        // Error boxes, notices and the result of an import handed over from the command line.
        QStringList popups =
            windows(QStringLiteral("Error")) + windows(QStringLiteral("Import CSV"));
        const QString main = mainWindow();
        for (const QString &notice : windows(QStringLiteral("QorLog")))
            if (notice != main)
                popups.append(notice);
        for (const QString &dialog : windows(QStringLiteral("ChargeData")))
            keys(dialog, {QStringLiteral("Escape")});
        if (popups.isEmpty())
            return;
        for (const QString &popup : popups)
            keys(popup, {QStringLiteral("Return")});
        pause(50);
    }
}

QStringList Soak::firstRowOnly()
{
    // Ctrl+Home moves to the first row but keeps the selection (Select All's, say); a plain
    // move selects the current row alone.
    return {QStringLiteral("ctrl+Home"), QStringLiteral("Down"), QStringLiteral("Up")};
}

bool Soak::clickTable(const QString &window)
{
    closePopups();
    return click(window, 60, 353);
}

bool Soak::click(const QString &window, int dx, int dy)
{
    const ToolResult geometry =
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window},
                mainEnvironment(), 10000);
    int x = 0, y = 0;
    for (const QString &line : geometry.out.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("X=")))
            x = line.mid(2).toInt();
        if (line.startsWith(QLatin1String("Y=")))
            y = line.mid(2).toInt();
    }
    return runTool(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QString::number(x + dx), QString::number(y + dy),
                    QStringLiteral("click"), QStringLiteral("1")},
                   mainEnvironment(), 10000)
               .exitCode == 0;
}

} // namespace Soak
