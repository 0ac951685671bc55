#include "CommandChannel.h"

#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/GlobalAtoms.h"
#include "platform/MessageLine.h"

namespace vemra::ui {

namespace {

// No message line is longer; a peer that sends more without a line end is cut off.
constexpr qint64 MaxLineLength = 64;
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
    {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(200)) return false;
    }
    const QByteArray file = path.toLocal8Bit();
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
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(fd);
        delete socket;
        return;
    }
    connections_.push_back(socket);
    auto* deadline = new QTimer(socket);
    deadline->setObjectName(QStringLiteral("deadline"));
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this, socket] { Drop(socket); });
    deadline->start(IdleDeadlineMs);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadLines(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] { Drop(socket); });
    ReadLines(socket);
}

void TCommandServer::Drop(QLocalSocket* socket) {
    const auto it = std::find(connections_.begin(), connections_.end(), socket);
    if (it == connections_.end()) return;
    connections_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void TCommandServer::ReadLines(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(MaxLineLength + 2);
        quint32 wParam = 0;
        qint64 lParam = 0;
        if (!line.endsWith('\n')) {
            Drop(socket);
            return;
        }
        // Each complete line earns the connection another deadline.
        if (auto* deadline = socket->findChild<QTimer*>(QStringLiteral("deadline"))) deadline->start(IdleDeadlineMs);
        // Queued, so a command runs after the current event, as a posted message does.
        if (ParseCommandLine(line, wParam, lParam))
            QMetaObject::invokeMethod(this, [this, wParam, lParam] { emit Command(wParam, lParam); },
                                      Qt::QueuedConnection);
    }
    if (socket->bytesAvailable() > MaxLineLength) Drop(socket);
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
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(QByteArray::number(wParam) + ' ' + QByteArray::number(lParam) + '\n');
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return sent;
}

}  // namespace vemra::ui
