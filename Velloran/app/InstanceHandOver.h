#pragma once
// How a later start of the app reaches the running one: a local socket, private to the user, whose
// name is drawn from the data folder and the user, over which the later start asks the running
// instance to bring its window to the front and the running instance answers that the request
// reached it. The exchange is one line each way.
//
// The socket lies in a folder only this user can reach (InstanceSocketFolder.h). Whether a socket file
// is there decides nothing: only the instance that holds the data folder's lock listens, and it first
// removes whatever a killed run left under the name. A later start believes only a server that runs
// as its own user, as the kernel tells it of the connection's other end, so that even a stranger who
// gets a socket there (the superuser could) neither hears a request nor gives an answer that counts.
//
// Threads: InstanceServer lives on the main thread and answers from its event loop, so a running
// instance answers only once its start-up has handed the loop control. askToComeForward blocks its
// caller and needs no event loop.

#include <sys/types.h>
#include <unistd.h>

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>

class QLocalSocket;

namespace velloran {

// The socket's path in `socketFolder` for `dataFolder` (callers pass its canonical form) and the
// current user; QLocalServer and QLocalSocket take it for a name.
QString instanceServerName(const std::filesystem::path& socketFolder,
                           const std::filesystem::path& dataFolder);

// The running instance's end. Requests are answered at once; `comeForward` runs after the answer.
class InstanceServer final : public QObject {
 public:
  // Removes a socket left under `name`, then listens there, reachable by this user only.
  explicit InstanceServer(const QString& name);

  bool listening() const { return server_.isListening(); }
  QString errorString() const { return server_.errorString(); }

  // Called on the main thread for each request from now on. When a request came before it was set
  // (the window did not exist yet), it is called once right away.
  void setComeForward(std::function<void()> comeForward);

 private:
  void accept();
  void read(QLocalSocket* socket);
  void request();

  QLocalServer server_;
  std::function<void()> comeForward_;
  bool requestHeld_ = false;
};

enum class Asking {
  // The running instance has the request.
  answered,
  // Nobody listens under the name (yet), or the connection ended without an answer: worth another try.
  nobodyListening,
  // Connected, but no answer came before the deadline.
  unanswered,
  // What listens under the name runs as another user: it was asked nothing, and is no running
  // instance of ours.
  stranger,
};

// Asks the instance listening under `name` to bring its window to the front, waiting for its answer
// until `deadline`. Only a server running as `user` is asked.
Asking askToComeForward(const QString& name, std::chrono::steady_clock::time_point deadline,
                        uid_t user = ::geteuid());

}  // namespace velloran
