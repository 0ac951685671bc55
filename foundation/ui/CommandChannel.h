#pragma once
// Window messages between our programs: a local socket named after the receiving window's
// class in the per-user runtime folder (mode 0700, so only the user reaches it). A message is
// one "wParam lParam" line of two decimal numbers; anything else is ignored.

#include <QObject>
#include <QString>

#include <deque>

#include <sys/types.h>

class QSocketNotifier;
class QTimer;

namespace vemra::ui {

// The socket path for a window class; "" when the runtime folder cannot be used.
QString CommandSocketPath(const QString& windowClass);

class TCommandServer : public QObject {
    Q_OBJECT
public:
    // A peer holds one connection for the moment it takes to write a line: more open
    // connections than this close the oldest, and one that has not completed a line within
    // the deadline is closed, so idle peers can neither use up the descriptors nor shut
    // others out.
    static constexpr int MaxConnections = 16;
    static constexpr int IdleDeadlineMs = 3000;
    // No message line is longer; a peer that sends more without a line end is cut off at once.
    static constexpr qint64 MaxLineLength = 64;

    explicit TCommandServer(QString windowClass, QObject* parent = nullptr);
    ~TCommandServer() override;

    // Starts listening; a socket left by a crashed process is replaced, a live one is not
    // (false then).
    bool Listen();
    void Close();
    bool IsListening() const { return listenFd_ >= 0; }
    int ConnectionCount() const { return static_cast<int>(connections_.size()); }
    // The deadline of the connections accepted from now on (tests lengthen it, so that a cut
    // at the line cap cannot be mistaken for one at the deadline).
    void SetIdleDeadline(int ms) { idleDeadlineMs_ = ms; }
    // What is left of a connection's deadline (oldest first), in ms; -1 when there is none.
    int DeadlineLeftMs(int index) const;

signals:
    void Command(quint32 wParam, qint64 lParam);

private:
    void Accept();
    void Adopt(int fd);
    // One accepted peer: its descriptor, what it sent of an unfinished line, and its deadline.
    struct Connection {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
        QTimer* deadline = nullptr;
        QByteArray pending;
    };
    void ReadLines(Connection* connection);
    void Drop(Connection* connection);

    QString windowClass_;
    QByteArray path_;
    int listenFd_ = -1;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    std::deque<Connection*> connections_;  // oldest first
    int idleDeadlineMs_ = IdleDeadlineMs;
};

// Parses one message line; false for anything but two decimal numbers.
bool ParseCommandLine(const QByteArray& line, quint32& wParam, qint64& lParam);

// Sends one message to the window class's server; false when none listens or it fails to
// take the message within the time-out.
bool PostCommand(const QString& windowClass, quint32 wParam, qint64 lParam, int timeoutMs = 1000);

}  // namespace vemra::ui
