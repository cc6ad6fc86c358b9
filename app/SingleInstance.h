#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

// One instance per user session. A lock file in the user's runtime folder decides who is
// first: the lock of a crashed holder is stale and never blocks a start, and of two starts at
// the same moment exactly one gets it. The holder then listens on a local socket of the same
// name, through which a later start asks it to come to the front. Without a runtime folder the
// names in the temporary folder carry the user's id; there, and anywhere, a lock file or socket
// of another user is not trusted, and both ends of a connection check that the other is a
// process of the same user.
class TSingleInstanceGuard : public QObject
{
    Q_OBJECT
public:
    // `identifier` names both the lock and the socket; `folder` defaults to the runtime folder.
    explicit TSingleInstanceGuard(const QString &identifier, const QString &folder = QString(),
                                  QObject *parent = nullptr);
    ~TSingleInstanceGuard() override;

    // True when this process is the first: it then holds the lock for its whole life and
    // listens for activation messages.
    bool CheckSingleInstance();
    // For a later start: sends the activation message (first parameter 1) to the first
    // instance; waits at most `timeoutMs` for it to be listening. False when nobody answered.
    bool sendActivation(int firstParameter = 1, int timeoutMs = 5000);

    // What the first instance answers to a handed-over import: an exit status and a message.
    struct Answer
    {
        int Status = 1;
        QString Message;
    };
    // The first instance's side of `qorlog --import-csv`: called with the CSV file's and the
    // log file's absolute paths, from the event loop; the answer goes back to the later start.
    using ImportHandler = std::function<Answer(const QString &csvPath, const QString &logPath)>;
    void setImportHandler(ImportHandler handler) { m_importHandler = std::move(handler); }
    // For a run that must not become the first instance itself (an import from the command
    // line, which another such run may want to hand its import to): whether a live process of
    // this user holds the instance lock. Takes nothing.
    bool isHeld() const;
    // For a later start: hands the import to the first instance and waits for its answer.
    enum class Handover
    {
        Answered,
        NobodyListening, // none listened within a few seconds: nothing was handed over
        NoAnswer         // it took the import but gave no answer within `timeoutMs`
    };
    Handover sendImport(const QString &csvPath, const QString &logPath, Answer &answer,
                        int timeoutMs = 120000);

    // The first instance's side of `qorlog --capture`: called with the request's fields (the
    // device and the choices, see CaptureCommand); the answer goes back at once.
    using CaptureHandler = std::function<Answer(const QStringList &fields)>;
    void setCaptureHandler(CaptureHandler handler) { m_captureHandler = std::move(handler); }
    // While `waits` says so (the log is being written), messages stay unread and are read a
    // moment later.
    void setWaitCheck(std::function<bool()> waits) { m_waits = std::move(waits); }
    // For a later start: hands a capture to the first instance and waits for its answer.
    bool sendCapture(const QStringList &fields, Answer &answer, int timeoutMs = 30000);

    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }

Q_SIGNALS:
    // An activation message with first parameter 1 arrived; any other is ignored.
    void activationRequested();

private:
    void readMessage(class QLocalSocket *socket);
    bool connectToFirst(class QLocalSocket &socket, int timeoutMs);

    ImportHandler m_importHandler;
    CaptureHandler m_captureHandler;
    std::function<bool()> m_waits;
    bool sendRequest(const QByteArray &request, Answer &answer, int timeoutMs);
    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
