// The windows in the user's language: German with the German translation and Qt's own for
// standard buttons, the original texts under C and English, and the log file the same in
// every language.

#include "ChargeDataFormUnit.h"
#include "ChargeLogTableModel.h"
#include "FilterFormUnit.h"
#include "LogFile.h"
#include "QorLogMainFormUnit.h"
#include "Translations.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

QStringList texts(const QWidget *window)
{
    QStringList found;
    for (const QPushButton *button : window->findChildren<QPushButton *>())
        found.append(button->text());
    for (const QLabel *label : window->findChildren<QLabel *>())
        found.append(label->text());
    return found;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Installs the translations as the program does at start, from the build folder.
    static void useLanguage(const QString &locale)
    {
        for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        installTranslations(QLocale(locale), {QStringLiteral(QORLOG_BINARY_DIR "/translations")});
    }

    QByteArray savedLog(const QString &locale)
    {
        useLanguage(locale);
        const QString path = m_dir.filePath(locale + QStringLiteral(".QorLog"));
        {
            TQorLogMainForm form(path);
            form.FormCreate();
            form.AddChargeRecord(-1, 46000.75, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                 QStringLiteral("Cell 1"), 2.0, 1.5, QStringLiteral("Normal"),
                                 QStringLiteral("first"), QString());
        }
        QFile file(path);
        // Without the charge's identity, which is new with every charge.
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(file.readAll())
                         .remove(
                             QRegularExpression(QStringLiteral("\\s*<(Id|Changed)>[^<]*</\\1>")))
                         .toUtf8()
                   : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
    }
    void cleanup() { useLanguage(QStringLiteral("C")); }

    void windows_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("addCharge");
        QTest::addColumn<QString>("fileMenu");
        QTest::addColumn<QString>("dateColumn");
        QTest::addColumn<QString>("chargeDataTitle");
        QTest::addColumn<QString>("cancel");
        QTest::addColumn<QString>("retain");
        QTest::addColumn<QString>("qtCancel"); // Qt's own standard button
        QTest::newRow("German") << "de_DE"
                                << "Ladung hinzufügen"
                                << "&Datei"
                                << "Datum/Zeit"
                                << "Ladedaten"
                                << "Abbrechen"
                                << "Behalten"
                                << "Abbrechen";
        QTest::newRow("Swiss German") << "de_CH"
                                      << "Ladung hinzufügen"
                                      << "&Datei"
                                      << "Datum/Zeit"
                                      << "Ladedaten"
                                      << "Abbrechen"
                                      << "Behalten"
                                      << "Abbrechen";
        QTest::newRow("C") << "C"
                           << "Add Charge Record"
                           << "&File"
                           << "Date-Time"
                           << "ChargeData"
                           << "Cancel"
                           << "Retain"
                           << "Cancel";
        QTest::newRow("English") << "en_US"
                                 << "Add Charge Record"
                                 << "&File"
                                 << "Date-Time"
                                 << "ChargeData"
                                 << "Cancel"
                                 << "Retain"
                                 << "Cancel";
    }
    void windows()
    {
        QFETCH(QString, locale);
        useLanguage(locale);
        TQorLogMainForm form(m_dir.filePath(QStringLiteral("windows.QorLog")));
        form.FormCreate();
        QTEST(form.AddChargeRecordBitBtn->text(), "addCharge");
        QTEST(form.FileMenu->title(), "fileMenu");
        QTEST(form.tableModel()->headerData(0, Qt::Horizontal).toString(), "dateColumn");

        TChargeDataForm chargeData(&form);
        QTEST(chargeData.windowTitle(), "chargeDataTitle");
        QFETCH(QString, cancel);
        QVERIFY2(texts(&chargeData).contains(cancel), qPrintable(texts(&chargeData).join('|')));

        TFilterForm filter;
        QFETCH(QString, retain);
        QVERIFY2(texts(&filter).contains(retain), qPrintable(texts(&filter).join('|')));
        // Nothing clipped: every caption fits its button, every button its window.
        for (QWidget *window :
             {static_cast<QWidget *>(&chargeData), static_cast<QWidget *>(&filter)}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            for (const QPushButton *button : window->findChildren<QPushButton *>()) {
                if (!button->isVisible() || button->text().isEmpty())
                    continue;
                const int needed = button->fontMetrics().horizontalAdvance(button->text()) +
                                   (button->icon().isNull() ? 0 : button->iconSize().width() + 4);
                QVERIFY2(button->width() >= needed + 8,
                         qPrintable(button->text() + QStringLiteral(": ") +
                                    QString::number(button->width())));
                QVERIFY2(window->rect().contains(button->geometry().translated(
                             button->parentWidget()->mapTo(window, QPoint()))),
                         qPrintable(button->text()));
            }
            window->hide();
        }

        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QTEST(box.button(QDialogButtonBox::Cancel)->text(), "qtCancel");
    }

    // Every menu's entries have access letters, none twice in one menu (nor among the menu
    // bar's titles), in either language.
    void accessLettersDoNotClash_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("English") << "C";
        QTest::newRow("German") << "de_DE";
    }
    void accessLettersDoNotClash()
    {
        QFETCH(QString, locale);
        useLanguage(locale);
        TQorLogMainForm form(m_dir.filePath(QStringLiteral("letters.QorLog")));
        form.FormCreate();
        const auto letterOf = [](const QString &text) {
            const qsizetype at = QString(text)
                                     .replace(QLatin1String("&&"), QLatin1String("__"))
                                     .indexOf(QLatin1Char('&'));
            return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toCaseFolded() : QChar();
        };
        QList<std::pair<QString, QList<QAction *>>> menus{{"menu bar", form.menuBar()->actions()}};
        for (QMenu *menu : form.findChildren<QMenu *>())
            menus.append({menu->objectName(), menu->actions()});
        QVERIFY(menus.size() >= 7); // the bar, its four menus, the chart's and the table's
        for (const auto &[name, actions] : std::as_const(menus)) {
            QHash<QChar, QString> taken;
            for (const QAction *action : actions) {
                if (action->isSeparator() || !action->isVisible())
                    continue;
                const QString text = action->menu() ? action->menu()->title() : action->text();
                const QChar letter = letterOf(text);
                QVERIFY2(!letter.isNull(), qPrintable(name + ": no letter in " + text));
                QVERIFY2(!taken.contains(letter),
                         qPrintable(name + ": " + taken.value(letter) + " and " + text));
                taken.insert(letter, text);
            }
        }
    }

    // Counted words take the language's plural forms: "1 Zyklus", "40 Zyklen".
    void chartReadOutCounts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("cycles");
        QTest::addColumn<QString>("expected");
        QTest::newRow("German one") << "de_DE" << 1 << "1 Zyklus";
        QTest::newRow("German forty") << "de_DE" << 40 << "40 Zyklen";
        QTest::newRow("English one") << "C" << 1 << "1 Cycle";
        QTest::newRow("English forty") << "C" << 40 << "40 Cycles";
    }
    void chartReadOutCounts()
    {
        QFETCH(QString, locale);
        QFETCH(int, cycles);
        useLanguage(locale);
        const QString path = m_dir.filePath(QStringLiteral("count-%1.QorLog").arg(cycles));
        TQorLogMainForm form(path);
        form.FormCreate();
        TChargeLog &log = form.log();
        for (int i = 0; i < cycles; ++i)
            log.StoreChargeRecord(-1, 45000 + i, QStringLiteral("PSU"), QStringLiteral("QorA1"),
                                  QStringLiteral("Pack"), 1, 1, QStringLiteral("Normal"), QString(),
                                  QString());
        form.RefreshDisplay();
        form.Chart1ClickSeries(0, 0);
        QTEST(form.CyclesLabel->text(), "expected");
    }

    // Messages of the model's reader, which keeps its texts in a context of its own.
    void readerMessageInGerman()
    {
        useLanguage(QStringLiteral("de_DE"));
        TChargeLog log;
        QString message;
        try {
            LogFile::LoadChargeLog(QStringLiteral(QORLOG_TEST_DATA "/truncated.xml"), log);
        } catch (const QorLogError &error) {
            message = error.message();
        }
        QVERIFY2(message.startsWith(QStringLiteral("Die Ladebuchdatei ")), qPrintable(message));
    }

    // Names are data and the file's words are the format's: the language changes nothing.
    void logFileDoesNotDependOnTheLanguage()
    {
        const QByteArray english = savedLog(QStringLiteral("C"));
        QVERIFY(english.contains("<Battery>Cell 1</Battery>"));
        QCOMPARE(savedLog(QStringLiteral("de_DE")), english);
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
