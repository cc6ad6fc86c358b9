#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QStatusBar;

// The borderless window that stands on the screen while the log file is read.
class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    explicit TSplashForm(QWidget *parent = nullptr);

    // Sets the bar's range and position; repaints at once, but only when the bar visibly moves
    // and at most once per frame (and always at the end), so reading 100,000 charges does not
    // mean 100,000 repaints.
    void SetSplashProgress(int minimum, int maximum, int position);
    int repaintCount() const { return m_repaints; }

    QFrame *Panel1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *ApplicationNameLabel = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;

    // Shows the name in the largest font (from 36 pixels down) that keeps it clear of the
    // window's right edge band of 10 pixels.
    void fitApplicationName(const QString &name);

protected:
    // The window's own first paint starts the frame clock as well: a log read within a frame
    // of the splash appearing is not painted again until its end.
    void paintEvent(QPaintEvent *event) override;

private:
    void FormCreate();

    int m_lastPixel = -1;
    static constexpr int FrameMs = 16;
    QElapsedTimer m_sinceRepaint;
    int m_repaints = 0;
};
