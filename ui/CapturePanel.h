#pragma once

#include <QWidget>

class QLabel;
class QTreeWidget;
class QTimer;
class TSerialCapture;

// The main window's list of running captures: per port its state, per channel the phase, the
// time since the start, volts, amps and amp-hours; a Stop for each port. Hidden while nothing
// is captured.
class TCapturePanel : public QWidget
{
    Q_OBJECT
public:
    explicit TCapturePanel(QWidget *parent = nullptr);

    void addCapture(TSerialCapture *capture);
    // "0:22:54"
    static QString clockText(double seconds);
    // Builds the rows again from the captures (every second, and as they change).
    void refresh();

    QTreeWidget *CaptureList = nullptr;

Q_SIGNALS:
    void stopRequested(TSerialCapture *capture);

private:
    QList<TSerialCapture *> m_captures;
    QTimer *m_timer = nullptr;
};
