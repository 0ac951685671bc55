#include "CommandChannel.h"

#include <QLocalServer>
#include <QLocalSocket>

#include "platform/GlobalAtoms.h"

namespace vemra::ui {

namespace {

// No message line is longer; a peer that sends more without a line end is cut off.
constexpr qint64 MaxLineLength = 64;

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
    // Ask first: a server whose listen fails removes the socket path when it is freed,
    // which would cut a live instance off from every later command.
    {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(200)) return false;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        // Nobody answered, so the socket is what a crashed process left.
        QLocalServer::removeServer(path);
        if (!server_->listen(path)) {
            delete server_;
            server_ = nullptr;
            return false;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &TCommandServer::Accept);
    return true;
}

void TCommandServer::Close() {
    if (server_ == nullptr) return;
    server_->close();
    delete server_;
    server_ = nullptr;
}

void TCommandServer::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadLines(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        ReadLines(socket);
    }
}

void TCommandServer::ReadLines(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(MaxLineLength + 2);
        quint32 wParam = 0;
        qint64 lParam = 0;
        if (!line.endsWith('\n')) {
            socket->abort();
            return;
        }
        // Queued, so a command runs after the current event, as a posted message does.
        if (ParseCommandLine(line, wParam, lParam))
            QMetaObject::invokeMethod(this, [this, wParam, lParam] { emit Command(wParam, lParam); },
                                      Qt::QueuedConnection);
    }
    if (socket->bytesAvailable() > MaxLineLength) socket->abort();
}

bool ParseCommandLine(const QByteArray& line, quint32& wParam, qint64& lParam) {
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 2) return false;
    bool okW = false;
    bool okL = false;
    const quint32 w = words[0].toUInt(&okW);
    const qint64 l = words[1].toLongLong(&okL);
    if (!okW || !okL) return false;
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
