#include "HelpBoxes.h"

#include "AccessLetters.h"
#include "Licence.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMessageBox>

void THelpBoxes::showInformation(QWidget *parent, const QString &objectName, const QString &title,
                                 const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void THelpBoxes::showKeyboardShortcuts(QWidget *parent, const QList<QMenu *> &menus)
{
    QString rows;
    for (QMenu *menu : menus)
        for (QAction *action : menu->actions())
            for (const QKeySequence &keys : action->shortcuts())
                rows += QStringLiteral("<tr><td>%1</td><td>&nbsp;&nbsp;%2</td></tr>")
                            .arg(keys.toString(QKeySequence::NativeText).toHtmlEscaped(),
                                 AccessLetters::stripped(action->text()).toHtmlEscaped());
    showInformation(parent, QStringLiteral("KeyboardShortcutsBox"), tr("Keyboard Shortcuts"),
                    QStringLiteral("<table>%1</table><p>%2</p><p>%3</p><p>%4</p>")
                        .arg(rows,
                             tr("Enter and Delete act on the table when it has the focus; "
                                "Tab moves between the buttons.")
                                 .toHtmlEscaped(),
                             tr("In a chart: Left and Right move from bar to bar, Up and Down "
                                "from series to series; Enter or Space shows the bar's figures, "
                                "Shift+Enter its battery's details, the Menu key or Shift+F10 "
                                "the chart's menu.")
                                 .toHtmlEscaped(),
                             tr("Page Up and Page Down move a screenful of batteries in the bar "
                                "chart and a tenth of the points in a line chart; the wheel and a "
                                "drag scroll a chart that is wider than its window. Escape and "
                                "Ctrl+W close Battery Details, the Battery Overview and the "
                                "charger log window; Alt and the underlined letter open a menu.")
                                 .toHtmlEscaped()));
}

QString THelpBoxes::licenceSentence()
{
    // The package's own licence paragraph, in the user's language where it is the usual one
    // (a build may set another, which is shown as it stands).
    static const char *const usual =
        QT_TR_NOOP("On Debian systems, the complete text of the GNU General Public License "
                   "version 3 can be found in /usr/share/common-licenses/GPL-3.");
    const QString sentence = QString::fromUtf8(QORLOG_LICENSE_SENTENCE);
    return sentence == QLatin1String(usual) ? tr(usual) : sentence;
}

void THelpBoxes::showAbout(QWidget *parent, const QString &logFilePath)
{
    showInformation(parent, QStringLiteral("AboutBox"), tr("About QorLog"),
                    tr("QorLog %1\n\nA logbook for the charging of rechargeable batteries.\n\n"
                       "Log file: %2\n\nLicence: %3")
                        .arg(QStringLiteral(QORLOG_VERSION), QDir::toNativeSeparators(logFilePath),
                             licenceSentence()));
}
