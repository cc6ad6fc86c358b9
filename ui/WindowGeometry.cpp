#include "WindowGeometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QWidget>

namespace {

bool g_enabled = false;

QSettings settings()
{
    return QSettings(QStringLiteral("qorlog"), QStringLiteral("qorlog"));
}

// Saves the window's geometry and its splitters' states when it is hidden or closed.
class TGeometryKeeper : public QObject
{
public:
    TGeometryKeeper(QWidget *window, const QString &key, const QList<QSplitter *> &splitters)
        : QObject(window), m_window(window), m_key(key)
    {
        for (QSplitter *splitter : splitters)
            m_splitters.append(splitter);
        window->installEventFilter(this);
    }

    void restore()
    {
        QSettings s = settings();
        s.beginGroup(m_key);
        const QByteArray geometry = s.value(QStringLiteral("geometry")).toByteArray();
        if (!geometry.isEmpty()) {
            const QRect before = m_window->geometry();
            m_window->restoreGeometry(geometry);
            // A place on a screen that went away: back where the window system puts it.
            bool onScreen = false;
            for (const QScreen *screen : QGuiApplication::screens())
                onScreen = onScreen || screen->availableGeometry().intersects(m_window->geometry());
            if (!onScreen)
                m_window->setGeometry(before);
        }
        for (int i = 0; i < m_splitters.size(); ++i) {
            const QByteArray state = s.value(QStringLiteral("splitter%1").arg(i)).toByteArray();
            if (m_splitters.at(i) && !state.isEmpty())
                m_splitters.at(i)->restoreState(state);
        }
    }

    void save() const
    {
        QSettings s = settings();
        s.beginGroup(m_key);
        s.setValue(QStringLiteral("geometry"), m_window->saveGeometry());
        for (int i = 0; i < m_splitters.size(); ++i)
            if (m_splitters.at(i))
                s.setValue(QStringLiteral("splitter%1").arg(i), m_splitters.at(i)->saveState());
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window &&
            (event->type() == QEvent::Hide || event->type() == QEvent::Close))
            save();
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
    QString m_key;
    QList<QPointer<QSplitter>> m_splitters;
};

} // namespace

namespace WindowGeometry {

void setEnabled(bool enabled)
{
    g_enabled = enabled;
}

bool isEnabled()
{
    return g_enabled;
}

void remember(QWidget *window, const QString &key, const QList<QSplitter *> &splitters)
{
    if (!g_enabled || !window)
        return;
    auto *keeper = new TGeometryKeeper(window, key, splitters);
    keeper->restore();
}

void closeWithKeys(QWidget *window)
{
    // The desktop's own close keys too, each once: one key on two shortcuts would fire neither.
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Close);
    for (const QKeySequence &more :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        if (!keys.contains(more))
            keys.append(more);
    for (const QKeySequence &key : std::as_const(keys)) {
        auto *shortcut = new QShortcut(key, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
}

} // namespace WindowGeometry
