#include "CommandChannel.h"

#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/GlobalAtoms.h"
#include "platform/MessageLine.h"

namespace vemra::ui {

namespace {

// Connections waiting in the kernel's queue while the program is busy.
constexpr int ListenBacklog = 64;
// After an accept that failed for want of descriptors or memory, the queue is looked at
// again this much later (the waiting peer stays queued meanwhile).
constexpr int AcceptRetryMs = 200;

bool SocketAddress(const QByteArray& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

int MsLeft(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// A connected descriptor to the socket at path within the time-out, or -1. Plain sockets
// rather than Qt Network's, which the converter would load for this alone. A listener whose
// queue is full refuses at once (EAGAIN), so that is tried again until the time-out.
int ConnectTo(const QByteArray& path, int timeoutMs) {
    sockaddr_un address{};
    if (!SocketAddress(path, address)) return -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
        const int error = errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int soError = 0;
            socklen_t size = sizeof soError;
            if (::poll(&p, 1, MsLeft(end)) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &size) == 0 &&
                soError == 0)
                return fd;
            ::close(fd);
            return -1;
        }
        ::close(fd);
        if ((error != EAGAIN && error != EINTR) || MsLeft(end) == 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, MsLeft(end))));
    }
}

}  // namespace

QString CommandSocketPath(const QString& windowClass) {
    const std::string folder = platform::RuntimeFolder();
    if (folder.empty()) return {};
    return QString::fromStdString(folder) + "/" + windowClass;
}

TCommandServer::TCommandServer(QString windowClass, QObject* parent)
    : QObject(parent), windowClass_(std::move(windowClass)) {}

TCommandServer::~TCommandServer() { Close(); }

bool TCommandServer::Listen() {
    Close();
    const QString path = CommandSocketPath(windowClass_);
    if (path.isEmpty()) return false;
    // Ask first: replacing the socket of a live instance would cut it off from every later
    // command.
    const QByteArray file = path.toLocal8Bit();
    if (const int probe = ConnectTo(file, 200); probe >= 0) {
        ::close(probe);
        return false;
    }
    sockaddr_un address{};
    if (!SocketAddress(file, address)) return false;
    // Our own socket rather than QLocalServer's: that one closes for good, and removes the
    // socket file, at the first accept that fails (descriptors used up), after which no
    // program could reach this one again.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto* where = reinterpret_cast<const sockaddr*>(&address);
    if (::bind(fd, where, sizeof address) != 0) {
        // Nobody answered, so the socket is what a crashed process left.
        if (errno != EADDRINUSE || ::unlink(file.constData()) != 0 || ::bind(fd, where, sizeof address) != 0) {
            ::close(fd);
            return false;
        }
    }
    struct stat st {};
    if (::chmod(file.constData(), 0600) != 0 || ::stat(file.constData(), &st) != 0 ||
        ::listen(fd, ListenBacklog) != 0) {
        ::close(fd);
        ::unlink(file.constData());
        return false;
    }
    listenFd_ = fd;
    path_ = file;
    socketDevice_ = st.st_dev;
    socketInode_ = st.st_ino;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TCommandServer::Accept);
    return true;
}

void TCommandServer::Close() {
    while (!connections_.empty()) Drop(connections_.front());
    if (listenFd_ < 0) return;
    delete notifier_;
    notifier_ = nullptr;
    ::close(listenFd_);
    listenFd_ = -1;
    // Only our own socket file: a later server may have replaced it.
    struct stat st {};
    if (::lstat(path_.constData(), &st) == 0 && st.st_dev == socketDevice_ && st.st_ino == socketInode_)
        ::unlink(path_.constData());
    path_.clear();
}

// Runs when no descriptor may be free: the undefined-behaviour sanitizer's type check then
// cannot open the pipe it probes memory with and reports a fault that is none.
__attribute__((no_sanitize("vptr"))) void TCommandServer::Accept() {
    // A bounded number per wake-up, so a flood of connections cannot hold the event loop.
    for (int n = 0; n < MaxConnections && listenFd_ >= 0; ++n) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            Adopt(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        // Out of descriptors or memory: the server keeps listening; the notifier would fire
        // again at once, so it rests until the retry.
        notifier_->setEnabled(false);
        QTimer::singleShot(AcceptRetryMs, notifier_, [notifier = notifier_] { notifier->setEnabled(true); });
        return;
    }
}

void TCommandServer::Adopt(int fd) {
    if (static_cast<int>(connections_.size()) >= MaxConnections) Drop(connections_.front());
    auto* connection = new Connection;
    connection->fd = fd;
    connection->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connection->deadline = new QTimer(this);
    connection->deadline->setSingleShot(true);
    connections_.push_back(connection);
    connect(connection->deadline, &QTimer::timeout, this, [this, connection] { Drop(connection); });
    connection->deadline->start(idleDeadlineMs_);
    connect(connection->notifier, &QSocketNotifier::activated, this, [this, connection] { ReadLines(connection); });
    ReadLines(connection);
}

int TCommandServer::DeadlineLeftMs(int index) const {
    if (index < 0 || index >= ConnectionCount()) return -1;
    return connections_[static_cast<std::size_t>(index)]->deadline->remainingTime();
}

void TCommandServer::Drop(Connection* connection) {
    const auto it = std::find(connections_.begin(), connections_.end(), connection);
    if (it == connections_.end()) return;
    connections_.erase(it);
    // Off the event loop before the descriptor closes, since its number may be reused at once;
    // deleted later, as this may run inside the notifier's own signal.
    connection->notifier->setEnabled(false);
    connection->notifier->disconnect(this);
    connection->notifier->deleteLater();
    connection->deadline->stop();
    connection->deadline->disconnect(this);
    connection->deadline->deleteLater();
    ::close(connection->fd);
    delete connection;
}

void TCommandServer::ReadLines(Connection* connection) {
    // One read per wake-up, so a peer that writes without end cannot hold the event loop; the
    // notifier fires again while more waits.
    char buffer[4096];
    ssize_t n = ::recv(connection->fd, buffer, sizeof buffer, 0);
    while (n < 0 && errno == EINTR) n = ::recv(connection->fd, buffer, sizeof buffer, 0);
    const bool ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    if (n > 0) connection->pending.append(buffer, n);
    QByteArray& pending = connection->pending;
    qsizetype start = 0;
    for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1) {
        if (end - start > MaxLineLength) {
            Drop(connection);
            return;
        }
        // Each complete line earns the connection another deadline.
        connection->deadline->start(idleDeadlineMs_);
        quint32 wParam = 0;
        qint64 lParam = 0;
        // Queued, so a command runs after the current event, as a posted message does.
        if (ParseCommandLine(pending.mid(start, end + 1 - start), wParam, lParam))
            QMetaObject::invokeMethod(this, [this, wParam, lParam] { emit Command(wParam, lParam); },
                                      Qt::QueuedConnection);
    }
    pending.remove(0, start);
    if (ended || pending.size() > MaxLineLength) Drop(connection);
}

bool ParseCommandLine(const QByteArray& line, quint32& wParam, qint64& lParam) {
    std::uint32_t w = 0;
    std::int64_t l = 0;
    if (!platform::ParseMessageLine(std::string_view(line.constData(), static_cast<std::size_t>(line.size())), w, l))
        return false;
    wParam = w;
    lParam = l;
    return true;
}

bool PostCommand(const QString& windowClass, quint32 wParam, qint64 lParam, int timeoutMs) {
    const QString path = CommandSocketPath(windowClass);
    if (path.isEmpty()) return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectTo(path.toLocal8Bit(), timeoutMs);
    if (fd < 0) return false;
    const QByteArray line = QByteArray::number(wParam) + ' ' + QByteArray::number(lParam) + '\n';
    qsizetype sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(fd, line.constData() + sent, static_cast<std::size_t>(line.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        pollfd p{fd, POLLOUT, 0};
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&p, 1, MsLeft(end)) == 1) continue;
        break;
    }
    ::close(fd);
    return sent == line.size();
}

}  // namespace vemra::ui
