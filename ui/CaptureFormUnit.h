#pragma once

#include "CaptureOptions.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QTimer;

// File > "Capture from Charger…": which serial port, at what speed, when a charge ends, and
// whether its record is added without asking. The ports are listed by their stable names under
// /dev/serial/by-id/ where they have one, with description and VID:PID, and listed again every
// 2 s as devices come and go; any path may be typed (pseudo-terminals are not listed). The last
// choices are remembered per device.
class TCaptureForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RelistMs = 2000;

    explicit TCaptureForm(QWidget *parent = nullptr);

    TCaptureOptions options() const;
    void setOptions(const TCaptureOptions &options);
    // The remembered choices for `device` (the defaults for a new one).
    static TCaptureOptions remembered(const QString &device);
    static void remember(const TCaptureOptions &options);
    // The serial ports there are now: (path, "description (VID:PID)").
    static QVector<QPair<QString, QString>> listPorts();

    QComboBox *PortBox = nullptr;
    QComboBox *BaudBox = nullptr;
    QSpinBox *IdleBox = nullptr;
    QCheckBox *AddBox = nullptr;
    QLabel *PortLabel = nullptr;

public Q_SLOTS:
    void relist();
    void accept() override;

private:
    void deviceChosen();
    QTimer *m_relist = nullptr;
};
