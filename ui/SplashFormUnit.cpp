#include "SplashFormUnit.h"

#include "Icons.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>

TSplashForm::TSplashForm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("SplashForm"));
    setFixedSize(312, 213);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    setPalette(pal);
    setAutoFillBackground(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(0, 0, 312, 213 - 13 - 19);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("QorLog"));
    Image1->setPixmap(QorLogIcons::applicationPicture());
    Image1->setGeometry(8, 8, 128, 150);
    Image1->setAttribute(Qt::WA_TranslucentBackground);

    ApplicationNameLabel = new QLabel(QStringLiteral("ApplicationName"), Panel1);
    ApplicationNameLabel->setObjectName(QStringLiteral("ApplicationNameLabel"));
    ApplicationNameLabel->move(120, 120);
    QPalette green = ApplicationNameLabel->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    ApplicationNameLabel->setPalette(green);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleName(tr("Loading"));
    ProgressBar1->setGeometry(0, 213 - 19 - 13, 312, 13);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    QPalette barPalette = ProgressBar1->palette();
    barPalette.setColor(QPalette::Base, QColor(0xE0, 0xE0, 0xE0));
    barPalette.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    ProgressBar1->setPalette(barPalette);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 213 - 19, 312, 19);
    StatusBar1->setSizeGripEnabled(false);

    FormCreate();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashForm::FormCreate()
{
    // The program's name is the executable's file name without folder and extension.
    if (ApplicationNameLabel->text() == QLatin1String("ApplicationName"))
        fitApplicationName(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
}

void TSplashForm::fitApplicationName(const QString &name)
{
    ApplicationNameLabel->setText(name);
    QFont font = ApplicationNameLabel->font();
    font.setBold(true);
    // Start from the largest font whose cell height, internal leading included, is 36 pixels.
    int start = 36;
    for (; start > 1; --start) {
        font.setPixelSize(start);
        if (QFontMetrics(font).height() <= 36)
            break;
    }
    for (int pixels = start; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        ApplicationNameLabel->setFont(font);
        ApplicationNameLabel->adjustSize();
        if (ApplicationNameLabel->x() + ApplicationNameLabel->width() < width() - 10)
            break;
    }
}

void TSplashForm::paintEvent(QPaintEvent *event)
{
    m_sinceRepaint.start();
    QWidget::paintEvent(event);
}

void TSplashForm::SetSplashProgress(int minimum, int maximum, int position)
{
    const qint64 span = qMax<qint64>(1, qint64(maximum) - minimum);
    const int pixel = int((qint64(position) - minimum) * ProgressBar1->width() / span);
    const bool end = position >= maximum;
    if (pixel == m_lastPixel && !end)
        return;
    // A repaint takes about a millisecond: once per frame is smooth, and once per pixel of the
    // bar made a quick read several times slower. The end is always shown.
    if (!end && m_sinceRepaint.isValid() && m_sinceRepaint.elapsed() < FrameMs)
        return;
    ProgressBar1->setRange(minimum, maximum);
    ProgressBar1->setValue(position);
    if (pixel == m_lastPixel)
        return;
    m_lastPixel = pixel;
    ++m_repaints;
    m_sinceRepaint.start();
    if (isVisible())
        repaint();
}
