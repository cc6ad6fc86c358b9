#pragma once

#include "CaptureOptions.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class IAddChargeHandler;
class QAction;
class QWidget;
class TCapturePanel;
class TChannelCapture;
class TChargeLogDocument;
class TChargerLogCommands;
class TChargerLogForm;
class TSerialCapture;

// What the main window does with live captures: File > "Capture from Charger…" and the
// command line start them; each channel's charge gets a charger log window that follows it;
// when a charge ends, its record is offered in a charge data dialog filled in from the captured
// file (as "Add Charge from Charger Log…" fills it) or, when asked for, added at once through
// the path every AddCharge takes; the desktop is told either way.
class TCaptureCommands : public QObject
{
    Q_OBJECT
public:
    TCaptureCommands(TChargeLogDocument *document, TChargerLogCommands *logCommands,
                     IAddChargeHandler *handler, QWidget *window);
    ~TCaptureCommands() override;

    QAction *CaptureAction = nullptr;
    TCapturePanel *Panel = nullptr;

    // Opens the port and starts capturing; false with the reason in `error`.
    bool startCapture(const TCaptureOptions &options, QString *error);
    QList<TSerialCapture *> captures() const { return m_captures; }
    // Where the captured files of this log go (made on first use); empty when nowhere.
    QString captureFolder() const;
    // The window following a running channel's charge.
    TChargerLogForm *liveWindow(TChannelCapture *channel) const;

    // "Charge of BATTERY ended: 2.016 Ah in 0:22:54".
    static QString endedText(bool discharge, const QString &battery, double ampHours,
                             double seconds);

Q_SIGNALS:
    // A charge's capture ended and its record was offered or added (the desktop's text).
    void chargeEnded(const QString &filePath, const QString &text);

private:
    void showDialog();
    void channelStarted(TSerialCapture *capture, TChannelCapture *channel);
    void channelEnded(TSerialCapture *capture, TChannelCapture *channel);

    TChargeLogDocument *m_document;
    TChargerLogCommands *m_logCommands;
    IAddChargeHandler *m_handler;
    QWidget *m_window;
    QList<TSerialCapture *> m_captures;
    QHash<TChannelCapture *, QPointer<TChargerLogForm>> m_windows;
};
