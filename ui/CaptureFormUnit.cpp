#include "CaptureFormUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const int Bauds[] = {9600, 19200, 38400, 57600, 115200};

QString settingsKey(const QString &device)
{
    // One group per device; a path's slashes would make nested groups.
    return QStringLiteral("Capture/") +
           QString::fromLatin1(device.toUtf8().toBase64(QByteArray::Base64UrlEncoding |
                                                        QByteArray::OmitTrailingEquals));
}

} // namespace

TCaptureForm::TCaptureForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CaptureForm"));
    setWindowTitle(tr("Capture from Charger"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    PortBox = new QComboBox(this);
    PortBox->setObjectName(QStringLiteral("PortBox"));
    PortBox->setEditable(true);
    PortBox->setInsertPolicy(QComboBox::NoInsert);
    PortBox->setMinimumWidth(420);
    PortBox->lineEdit()->setPlaceholderText(tr("/dev/ttyUSB0"));
    PortLabel = new QLabel(this);
    PortLabel->setObjectName(QStringLiteral("PortLabel"));
    PortLabel->setWordWrap(true);
    auto *portCaption = new QLabel(tr("Serial &port:"), this);
    portCaption->setBuddy(PortBox);
    form->addRow(portCaption, PortBox);
    form->addRow(QString(), PortLabel);

    BaudBox = new QComboBox(this);
    BaudBox->setObjectName(QStringLiteral("BaudBox"));
    BaudBox->setEditable(true);
    BaudBox->setInsertPolicy(QComboBox::NoInsert);
    for (int baud : Bauds)
        BaudBox->addItem(QString::number(baud));
    BaudBox->setValidator(new QIntValidator(50, 4000000, BaudBox));
    auto *baudCaption = new QLabel(tr("&Speed (baud):"), this);
    baudCaption->setBuddy(BaudBox);
    form->addRow(baudCaption, BaudBox);

    IdleBox = new QSpinBox(this);
    IdleBox->setObjectName(QStringLiteral("IdleBox"));
    IdleBox->setRange(TCaptureOptions::MinimumIdleSeconds, TCaptureOptions::MaximumIdleSeconds);
    IdleBox->setPrefix(tr("End after "));
    IdleBox->setSuffix(tr(" s without data"));
    auto *idleCaption = new QLabel(tr("&End:"), this);
    idleCaption->setBuddy(IdleBox);
    form->addRow(idleCaption, IdleBox);

    AddBox = new QCheckBox(tr("&Add the record without asking"), this);
    AddBox->setObjectName(QStringLiteral("AddBox"));
    form->addRow(QString(), AddBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    auto *start = buttons->addButton(tr("S&tart"), QDialogButtonBox::AcceptRole);
    start->setObjectName(QStringLiteral("StartButton"));
    start->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TCaptureForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(PortBox, &QComboBox::currentIndexChanged, this, &TCaptureForm::deviceChosen);

    relist();
    const QString last = QSettings().value(QStringLiteral("Capture/LastDevice")).toString();
    setOptions(remembered(last.isEmpty() ? PortBox->currentText() : last));
    m_relist = new QTimer(this);
    m_relist->setInterval(RelistMs);
    connect(m_relist, &QTimer::timeout, this, &TCaptureForm::relist);
    m_relist->start();
}

QVector<QPair<QString, QString>> TCaptureForm::listPorts()
{
    // The stable names of USB adapters: a link per device under /dev/serial/by-id/.
    QHash<QString, QString> byId;
    const QDir ids(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link :
         ids.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        byId.insert(link.canonicalFilePath(), link.absoluteFilePath());
    QVector<QPair<QString, QString>> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString path =
            byId.value(QFileInfo(info.systemLocation()).canonicalFilePath(), info.systemLocation());
        QString text = info.description().isEmpty() ? info.portName() : info.description();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            text += QStringLiteral(" (%1:%2)")
                        .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                        .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        if (path != info.systemLocation())
            text += QStringLiteral(", ") + info.systemLocation();
        ports.append({path, text});
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

void TCaptureForm::relist()
{
    const QVector<QPair<QString, QString>> ports = listPorts();
    QVector<QPair<QString, QString>> shown;
    for (int i = 0; i < PortBox->count(); ++i)
        shown.append({PortBox->itemText(i), PortBox->itemData(i).toString()});
    if (ports == shown)
        return;
    // What the user typed or chose stays.
    const QString current = PortBox->currentText();
    const QSignalBlocker block(PortBox);
    PortBox->clear();
    for (const auto &port : ports)
        PortBox->addItem(port.first, port.second);
    const int at = PortBox->findText(current);
    if (at >= 0)
        PortBox->setCurrentIndex(at);
    else
        PortBox->setEditText(current);
    PortLabel->setText(ports.isEmpty()
                           ? tr("No serial port is there: plug the charger in, or type the path "
                                "of one.")
                           : PortBox->currentData().toString());
}

void TCaptureForm::deviceChosen()
{
    PortLabel->setText(PortBox->currentData().toString());
    setOptions(remembered(PortBox->currentText()));
}

TCaptureOptions TCaptureForm::options() const
{
    TCaptureOptions o;
    o.device = PortBox->currentText().trimmed();
    o.baud = BaudBox->currentText().toInt();
    o.idleSeconds = IdleBox->value();
    o.addWithoutAsking = AddBox->isChecked();
    return o;
}

void TCaptureForm::setOptions(const TCaptureOptions &o)
{
    if (!o.device.isEmpty() && PortBox->currentText() != o.device) {
        const QSignalBlocker block(PortBox);
        const int at = PortBox->findText(o.device);
        if (at >= 0)
            PortBox->setCurrentIndex(at);
        else
            PortBox->setEditText(o.device);
    }
    BaudBox->setCurrentText(QString::number(o.baud));
    IdleBox->setValue(o.idleSeconds);
    AddBox->setChecked(o.addWithoutAsking);
}

TCaptureOptions TCaptureForm::remembered(const QString &device)
{
    TCaptureOptions o;
    o.device = device;
    QSettings settings;
    const QString key = settingsKey(device);
    o.baud = settings.value(key + QStringLiteral("/Baud"), TCaptureOptions::DefaultBaud).toInt();
    o.idleSeconds = qBound(
        TCaptureOptions::MinimumIdleSeconds,
        settings.value(key + QStringLiteral("/IdleSeconds"), TCaptureOptions::DefaultIdleSeconds)
            .toInt(),
        TCaptureOptions::MaximumIdleSeconds);
    o.addWithoutAsking = settings.value(key + QStringLiteral("/AddWithoutAsking"), false).toBool();
    if (o.baud <= 0)
        o.baud = TCaptureOptions::DefaultBaud;
    return o;
}

void TCaptureForm::remember(const TCaptureOptions &o)
{
    QSettings settings;
    const QString key = settingsKey(o.device);
    settings.setValue(key + QStringLiteral("/Baud"), o.baud);
    settings.setValue(key + QStringLiteral("/IdleSeconds"), o.idleSeconds);
    settings.setValue(key + QStringLiteral("/AddWithoutAsking"), o.addWithoutAsking);
    settings.setValue(QStringLiteral("Capture/LastDevice"), o.device);
}

void TCaptureForm::accept()
{
    const TCaptureOptions o = options();
    if (o.device.isEmpty()) {
        PortLabel->setText(tr("Choose a serial port or type its path."));
        PortBox->setFocus();
        return;
    }
    if (o.baud <= 0) {
        BaudBox->setFocus();
        return;
    }
    QDialog::accept();
}
