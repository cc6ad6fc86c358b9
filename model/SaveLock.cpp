#include "SaveLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(512) : QByteArray();
}

QByteArray bootId()
{
    static const QByteArray id = [] {
        QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    }();
    return id;
}

// When the process `pid` started, in clock ticks since the boot (field 22 of its stat line);
// 0 when there is no such process.
quint64 processStart(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = file.readAll();
    // The name in parentheses may hold blanks and parentheses; the fields follow the last one.
    const qsizetype end = line.lastIndexOf(')');
    if (end < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(end + 2).split(' ');
    // Counted from the state, the third field of the line.
    return fields.size() > 19 ? fields.at(19).toULongLong() : 0;
}

qint64 modifiedNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + qint64(st.st_mtim.tv_nsec);
}

// Now by the clock of the file system that holds `beside`: the modification time of a file
// made there for the moment. 0 when none can be made.
qint64 fileSystemNowNs(const QString &beside)
{
    const QByteArray probe = nativePath(beside) + ".now-" + QByteArray::number(qint64(::getpid())) +
                             '-' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    struct stat st;
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    ::unlink(probe.constData());
    return known ? modifiedNs(st) : 0;
}

// When each lock file of another holder was first seen as it is now (file, time and content),
// by this process's steady clock.
class Sightings
{
public:
    qint64 unchangedForMs(const QString &path, const struct stat &st, const QByteArray &content)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        Sighting &seen = m_seen[path];
        const bool same = seen.Timer.isValid() && seen.Inode == quint64(st.st_ino) &&
                          seen.ModifiedNs == modifiedNs(st) && seen.Content == content;
        if (!same) {
            seen.Inode = quint64(st.st_ino);
            seen.ModifiedNs = modifiedNs(st);
            seen.Content = content;
            seen.Timer.start();
        }
        return seen.Timer.elapsed();
    }

private:
    struct Sighting
    {
        quint64 Inode = 0;
        qint64 ModifiedNs = 0;
        QByteArray Content;
        QElapsedTimer Timer;
    };
    std::mutex m_mutex;
    QHash<QString, Sighting> m_seen;
};

Sightings &sightings()
{
    static Sightings instance;
    return instance;
}

// Touches every lock this process holds every few seconds, so that QorLogs elsewhere see a
// long save's lock as alive.
class Refresher
{
public:
    ~Refresher()
    {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    void add(int fd)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_held.insert(fd);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error &) {
                // No thread to spare: the lock is simply not refreshed.
            }
        }
    }
    void remove(int fd)
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_held.erase(fd);
    }
    std::atomic<int> IntervalMs{5000};

private:
    void run()
    {
        std::unique_lock<std::mutex> hold(m_mutex);
        while (!m_stop) {
            m_wake.wait_for(hold, std::chrono::milliseconds(IntervalMs.load()));
            for (int fd : m_held)
                ::futimens(fd, nullptr);
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::set<int> m_held;
    bool m_stop = false;
    std::thread m_thread;
};

Refresher &refresher()
{
    static Refresher instance;
    return instance;
}

// Whether the lock file at `path`, as `found` and holding `content`, is left by a holder that
// is gone.
bool isStale(const QString &path, int staleMs, const struct stat &found, const QByteArray &content)
{
    // A holder writes its line the moment it has made the file: a lock without one after a
    // few seconds is of a holder stopped in between, which can never refresh or remove it.
    constexpr int EmptyStaleMs = 3000;
    if (content.trimmed().isEmpty())
        staleMs = qMin(staleMs, EmptyStaleMs);
    const QList<QByteArray> parts = content.trimmed().split(' ');
    const qint64 pid = parts.value(0).toLongLong();
    const bool sameHost =
        parts.size() >= 2 && QString::fromUtf8(parts.at(1)) == QSysInfo::machineHostName();
    // A lock of an older QorLog names no boot: its host name stands for this computer.
    const bool named = parts.size() >= 4;
    const bool here = sameHost && pid > 0 && (!named || parts.at(2) == bootId());
    if (here) {
        const bool running = ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
        if (!running)
            return true;
        if (named)
            return processStart(pid) != parts.at(3).toULongLong(); // the number was given again
    }
    // Another computer's, or one that says too little: by how long it has gone unrefreshed.
    if (sightings().unchangedForMs(path, found, content) >= staleMs)
        return true;
    const qint64 now = fileSystemNowNs(path);
    return now > 0 && now - modifiedNs(found) > qint64(staleMs) * 1000000;
}

} // namespace

TSaveLock::TSaveLock(QString path, int staleMs) : m_path(std::move(path)), m_staleMs(staleMs) {}

TSaveLock::~TSaveLock()
{
    unlock();
}

QByteArray TSaveLock::holderLine()
{
    const qint64 pid = ::getpid();
    return QByteArray::number(pid) + ' ' + QSysInfo::machineHostName().toUtf8() + ' ' +
           (bootId().isEmpty() ? QByteArray("-") : bootId()) + ' ' +
           QByteArray::number(processStart(pid)) + '\n';
}

void TSaveLock::setRefreshInterval(int ms)
{
    refresher().IntervalMs = ms;
}

TSaveLock::Result TSaveLock::tryLock()
{
    if (m_fd >= 0)
        return Result::Locked;
    const QByteArray path = nativePath(m_path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const QByteArray content = holderLine();
            if (::write(fd, content.constData(), size_t(content.size())) !=
                ssize_t(content.size())) {
                m_error = qt_error_string(errno);
                ::close(fd);
                ::unlink(path.constData());
                return Result::Failed;
            }
            m_fd = fd;
            refresher().add(fd);
            return Result::Locked;
        }
        if (errno != EEXIST) {
            m_error = qt_error_string(errno);
            return Result::Failed;
        }
        m_error.clear();
        if (!removeIfStale())
            return m_error.isEmpty() ? Result::Busy : Result::Failed;
    }
    return Result::Busy;
}

void TSaveLock::unlock()
{
    if (m_fd < 0)
        return;
    refresher().remove(m_fd);
    // Only this object's own lock file goes: had it been taken for stale and replaced, the
    // new holder's stays.
    struct stat mine, there;
    const QByteArray path = nativePath(m_path);
    if (::fstat(m_fd, &mine) == 0 && ::lstat(path.constData(), &there) == 0 &&
        mine.st_dev == there.st_dev && mine.st_ino == there.st_ino)
        ::unlink(path.constData());
    ::close(m_fd);
    m_fd = -1;
}

QString TSaveLock::holder() const
{
    const QList<QByteArray> parts = contentOf(m_path).trimmed().split(' ');
    return QString::fromUtf8(parts.mid(0, 2).join(' '));
}

bool TSaveLock::removeIfStale()
{
    struct stat found;
    if (::lstat(nativePath(m_path).constData(), &found) != 0)
        return true; // gone meanwhile: try again
    if (!isStale(m_path, m_staleMs, found, contentOf(m_path)))
        return false;
    // Moved aside under a name of its own rather than deleted: should another QorLog have
    // removed it and made its own in between, the one moved is not the one judged stale, and
    // it is put back.
    // The name is short, whatever the log's name: a long one must not make it too long.
    const QByteArray aside = nativePath(
        QFileInfo(m_path).dir().filePath(QStringLiteral(".qorlog-stale-%1-%2")
                                             .arg(::getpid())
                                             .arg(QRandomGenerator::global()->generate())));
    if (::rename(nativePath(m_path).constData(), aside.constData()) != 0) {
        if (errno == ENOENT)
            return true;
        // A folder that cannot be written (read-only, full of names): the lock cannot be
        // taken, which is said at once rather than waited for as a busy holder.
        m_error = qt_error_string(errno);
        return false;
    }
    struct stat st;
    const bool same = ::lstat(aside.constData(), &st) == 0 && st.st_ino == found.st_ino &&
                      st.st_dev == found.st_dev;
    if (!same)
        ::link(aside.constData(), nativePath(m_path).constData());
    ::unlink(aside.constData());
    return same;
}
