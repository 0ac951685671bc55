#pragma once
// Window messages between our programs: a local socket named after the receiving window's
// class in the per-user runtime folder (mode 0700, so only the user reaches it). A message is
// one "wParam lParam" line of two decimal numbers; anything else is ignored.

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace vemra::ui {

// The socket path for a window class; "" when the runtime folder cannot be used.
QString CommandSocketPath(const QString& windowClass);

class TCommandServer : public QObject {
    Q_OBJECT
public:
    explicit TCommandServer(QString windowClass, QObject* parent = nullptr);
    ~TCommandServer() override;

    // Starts listening; a socket left by a crashed process is replaced, a live one is not
    // (false then).
    bool Listen();
    void Close();

signals:
    void Command(quint32 wParam, qint64 lParam);

private:
    void Accept();
    void ReadLines(QLocalSocket* socket);

    QString windowClass_;
    QLocalServer* server_ = nullptr;
};

// Parses one message line; false for anything but two decimal numbers.
bool ParseCommandLine(const QByteArray& line, quint32& wParam, qint64& lParam);

// Sends one message to the window class's server; false when none listens or it fails to
// take the message within the time-out.
bool PostCommand(const QString& windowClass, quint32 wParam, qint64 lParam, int timeoutMs = 1000);

}  // namespace vemra::ui
