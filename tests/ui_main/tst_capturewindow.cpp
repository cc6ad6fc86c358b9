// The main window with a live capture on a pseudo-terminal: the list of running captures, the
// window that follows the charge, and the end: the charge data dialog filled in exactly as
// "Add Charge from Charger Log…" fills it, or the record added at once as one undo step; the
// desktop told either way (a notification service of the test's own on the private bus).

#include "CaptureCommands.h"
#include "CaptureFormUnit.h"
#include "CapturePanel.h"
#include "ChannelCapture.h"
#include "ChargeDataFormUnit.h"
#include "ChargeLogDocument.h"
#include "ChargerLogCommands.h"
#include "ChargerLogFormUnit.h"
#include "ModalHelper.h"
#include "PtyPair.h"
#include "QorLogMainFormUnit.h"
#include "SerialCapture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUndoStack>
#include <QtTest>

#include <memory>

// What the desktop's notification service is told.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;
public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &,
                const QStringList &, const QVariantMap &, int)
    {
        summaries << summary;
        return uint(summaries.size());
    }
};

class TestCaptureWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQorLogMainForm> m_form;
    FakeNotifications m_notifications;

private Q_SLOTS:
    void initTestCase()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                            QStringLiteral("notifications"));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                   &m_notifications, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_form = std::make_unique<TQorLogMainForm>(m_dir->filePath(QStringLiteral("logs.QorLog")));
        m_form->FormCreate();
        m_notifications.summaries.clear();
    }
    void cleanup()
    {
        deleteOpenForms<TChargeDataForm>();
        deleteOpenForms<TChargerLogForm>();
        m_form.reset();
    }

    // The dialog's choices are remembered per device; a new device gets the defaults.
    void dialogRemembersPerDevice()
    {
        TCaptureForm form;
        const TCaptureOptions defaults = TCaptureForm::remembered(QStringLiteral("/dev/ttyX"));
        QCOMPARE(defaults.baud, 9600);
        QCOMPARE(defaults.idleSeconds, 30);
        QVERIFY(!defaults.addWithoutAsking);
        form.PortBox->setEditText(QStringLiteral("/dev/serial/by-id/usb-charger"));
        form.BaudBox->setCurrentText(QStringLiteral("57600"));
        form.IdleBox->setValue(5000); // beyond the longest silence
        form.AddBox->setChecked(true);
        const TCaptureOptions chosen = form.options();
        QCOMPARE(chosen.device, QStringLiteral("/dev/serial/by-id/usb-charger"));
        QCOMPARE(chosen.baud, 57600);
        QCOMPARE(chosen.idleSeconds, 3600);
        TCaptureForm::remember(chosen);
        const TCaptureOptions again = TCaptureForm::remembered(chosen.device);
        QCOMPARE(again.baud, 57600);
        QCOMPARE(again.idleSeconds, 3600);
        QVERIFY(again.addWithoutAsking);
        QCOMPARE(TCaptureForm::remembered(QStringLiteral("/dev/ttyX")).baud, 9600);
        // A new dialog starts with the last device and its choices.
        TCaptureForm next;
        QCOMPARE(next.options().device, chosen.device);
        QCOMPARE(next.options().baud, 57600);
        // Pseudo-terminals are no serial ports to list.
        TPtyPair pty;
        for (const auto &port : TCaptureForm::listPorts())
            QVERIFY(port.first != pty.slaveName());
    }

    void chargeEndsInItsRecord_data()
    {
        QTest::addColumn<bool>("addWithoutAsking");
        QTest::newRow("asking") << false;
        QTest::newRow("without asking") << true;
    }
    void chargeEndsInItsRecord()
    {
        QFETCH(bool, addWithoutAsking);
        TPtyPair pty;
        TCaptureCommands *captures = m_form->captureCommands();
        TCaptureOptions options;
        options.device = pty.slaveName();
        options.idleSeconds = 2;
        options.addWithoutAsking = addWithoutAsking;
        QString error;
        QVERIFY2(captures->startCapture(options, &error), qPrintable(error));
        QVERIFY(!captures->startCapture(options, &error)); // one capture per port
        QVERIFY(error.contains(QLatin1String("already being captured")));
        QFile file(QStringLiteral(QORLOG_TEST_DATA "/charger-logs/dollar-storage-ch1.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray stream;
        for (int i = 0; i < 60; ++i)
            stream += file.readLine();
        QSignalSpy ended(captures, &TCaptureCommands::chargeEnded);
        QVERIFY(pty.send(stream));

        // While it runs: a row in the list, a window following it.
        QTRY_COMPARE(captures->captures().size() == 1 &&
                         captures->captures().first()->channels().size() == 1,
                     true);
        TChannelCapture *channel = captures->captures().first()->channels().first();
        QTRY_COMPARE(channel->sampleCount(), 60);
        TChargerLogForm *live = captures->liveWindow(channel);
        QVERIFY(live && live->isLive());
        QCOMPARE(live->log().sampleCount(), 60);
        captures->Panel->refresh();
        QCOMPARE(captures->Panel->CaptureList->topLevelItemCount(), 1);
        QCOMPARE(captures->Panel->CaptureList->topLevelItem(0)->text(2), QStringLiteral("0:00:59"));

        QVERIFY(ended.wait(10000));
        const QString path = ended.first().at(0).toString();
        QVERIFY(path.startsWith(m_dir->filePath(QStringLiteral("logs.QorLog-charger-logs/"))));
        QVERIFY(path.endsWith(QLatin1String("-ch1.txt")));
        const TChargerLogCommands::TLogDraft draft = m_form->chargerLogCommands()->draftFrom(path);
        QVERIFY(draft.valid);
        const QString text =
            QStringLiteral("Charge of the battery on channel 1 ended: %1 Ah in 0:00:59")
                .arg(draft.ampHours, 0, 'f', 3);
        QCOMPARE(ended.first().at(1).toString(), text);
        QTRY_COMPARE(m_notifications.summaries, QStringList{text});
        QVERIFY(!live->isLive());
        QCOMPARE(live->filePath(), path);

        if (addWithoutAsking) {
            QCOMPARE(TChargeDataForm::openForms().size(), 0);
            QCOMPARE(m_form->log().ChargeStringList.count(), 1);
            QCOMPARE(m_form->document()->undoStack()->count(), 1);
            return;
        }
        // The dialog holds what "Add Charge from Charger Log…" gives for the same file.
        QCOMPARE(TChargeDataForm::openForms().size(), 1);
        TChargeDataForm *offered = TChargeDataForm::openForms().first();
        m_form->chargerLogCommands()->addChargesFrom({path});
        QCOMPARE(TChargeDataForm::openForms().size(), 2);
        TChargeDataForm *fromFile = TChargeDataForm::openForms().last();
        for (const auto edit :
             {&TChargeDataForm::AmpHoursLabeledEdit, &TChargeDataForm::NominalChargeAmpsLabeledEdit,
              &TChargeDataForm::ChargerLogFileNameLabeledEdit})
            QCOMPARE((offered->*edit)->text(), (fromFile->*edit)->text());
        QCOMPARE(m_form->log().ChargeStringList.count(), 0);
    }
};

QTEST_MAIN(TestCaptureWindow)
#include "tst_capturewindow.moc"
