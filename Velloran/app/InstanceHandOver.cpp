#include "Velloran/app/InstanceHandOver.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QLocalSocket>
#include <algorithm>
#include <string>

namespace velloran {
namespace {

constexpr char kRequest[] = "bring-forward\n";
constexpr char kAnswer[] = "ok\n";
// Sixteen hex digits: no two data folders of one user meet by chance, and the path stays short.
constexpr int kNameHashBytes = 8;

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Whether the server at the socket's other end runs as `user`, by the kernel's record of who listened:
// the socket file's owner would say nothing of who listens on it.
bool servedBy(const QLocalSocket& socket, uid_t user) {
  ucred server{};
  socklen_t size = sizeof(server);
  return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &server, &size) ==
             0 &&
         server.uid == user;
}

}  // namespace

QString instanceServerName(const std::filesystem::path& socketFolder,
                           const std::filesystem::path& dataFolder) {
  const QByteArray digest =
      QCryptographicHash::hash(QByteArray::fromStdString(dataFolder.string()), QCryptographicHash::Sha256);
  const std::string name =
      "velloran-" + std::to_string(::getuid()) + "-" + digest.left(kNameHashBytes).toHex().toStdString();
  return QFile::decodeName((socketFolder / name).c_str());
}

InstanceServer::InstanceServer(const QString& name) {
  QLocalServer::removeServer(name);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
  server_.listen(name);
}

void InstanceServer::setComeForward(std::function<void()> comeForward) {
  comeForward_ = std::move(comeForward);
  if (requestHeld_ && comeForward_) {
    requestHeld_ = false;
    comeForward_();
  }
}

void InstanceServer::accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
    // The request may have come with the connection.
    read(socket);
  }
}

void InstanceServer::read(QLocalSocket* socket) {
  if (!socket->canReadLine()) return;
  const bool isRequest = socket->readLine() == kRequest;
  if (isRequest) {
    socket->write(kAnswer);
    socket->flush();
  }
  // Pending bytes still go out before the connection closes.
  socket->disconnectFromServer();
  if (isRequest) request();
}

void InstanceServer::request() {
  if (comeForward_)
    comeForward_();
  else
    requestHeld_ = true;
}

Asking askToComeForward(const QString& name, std::chrono::steady_clock::time_point deadline, uid_t user) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(millisecondsUntil(deadline))) return Asking::nobodyListening;
  if (!servedBy(socket, user)) return Asking::stranger;
  socket.write(kRequest);
  socket.flush();
  while (!socket.canReadLine()) {
    if (socket.state() != QLocalSocket::ConnectedState) return Asking::nobodyListening;
    if (!socket.waitForReadyRead(millisecondsUntil(deadline)) &&
        socket.state() == QLocalSocket::ConnectedState)
      return Asking::unanswered;
  }
  return socket.readLine() == kAnswer ? Asking::answered : Asking::nobodyListening;
}

}  // namespace velloran
