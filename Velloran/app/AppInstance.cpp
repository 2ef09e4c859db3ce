#include "Velloran/app/AppInstance.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "Velloran/app/InstanceHandOver.h"
#include "Velloran/app/InstanceLock.h"
#include "Velloran/app/InstanceSocketFolder.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/paths/FileIO.h"
#include "platform/text/Format.h"

namespace velloran {
namespace {

// Between tries of a start that finds the lock held but nobody listening yet.
constexpr std::chrono::milliseconds kRetryPause{20};

std::filesystem::path lockFileOf(const std::filesystem::path& dataFolder) {
  return dataFolder.parent_path() / (dataFolder.filename().string() + ".lock");
}

// The running instance's end of the hand-over; nothing, after a line that says why, where it cannot
// listen.
std::unique_ptr<InstanceServer> listenForLaterStarts(const SocketFolder& socketFolder, const QString& name) {
  std::string failure;
  if (socketFolder.failure == 0) {
    auto server = std::make_unique<InstanceServer>(name);
    if (server->listening()) return server;
    failure = server->errorString().toStdString();
  } else {
    failure = socketFolder.path.string() + ": " + std::strerror(socketFolder.failure);
  }
  std::cerr << platform::format(kNotReachableFormat, failure) << std::endl;
  return nullptr;
}

}  // namespace

AppInstance AppInstance::claimDataFolder() {
  const platform::Result<std::filesystem::path> folder = platform::applicationSupportDirectoryName();
  // Without a data folder the store cannot open either, and says why.
  if (!folder) return AppInstance(Role::running);
  return claim(*folder);
}

AppInstance AppInstance::claim(const std::filesystem::path& dataFolder,
                               std::chrono::milliseconds answerBound) {
  // A failure shows as the lock file's own, just below.
  (void)platform::createDirectories(platform::folderOf(dataFolder));
  // Two spellings of one folder (a link among its parents, say) claim the same lock and socket.
  const std::filesystem::path folder = platform::comparablePath(dataFolder);
  const std::filesystem::path lockFile = lockFileOf(folder);
  auto lock = std::make_unique<InstanceLock>(lockFile);
  const SocketFolder socketFolder = instanceSocketFolder();
  const QString name = instanceServerName(socketFolder.path, folder);
  const auto deadline = std::chrono::steady_clock::now() + answerBound;
  for (;;) {
    switch (lock->take()) {
      case InstanceLock::Taking::taken:
        return AppInstance(Role::running, std::move(lock), listenForLaterStarts(socketFolder, name));
      case InstanceLock::Taking::unavailable:
        std::cerr << platform::format(kNoLockFormat, lockFile.string(), std::strerror(lock->failure()))
                  << std::endl;
        return AppInstance(Role::running);
      case InstanceLock::Taking::heldElsewhere:
        break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return AppInstance(Role::unanswered);
    // No instance of ours listens in a folder that will not do, and whoever does must not see the start.
    const Asking asked =
        socketFolder.failure == 0 ? askToComeForward(name, deadline) : Asking::nobodyListening;
    if (asked == Asking::answered) return AppInstance(Role::handedOver);
    // Ours may yet come to listen there, or let go of the lock.
    if (asked != Asking::unanswered) std::this_thread::sleep_for(kRetryPause);
  }
}

AppInstance::AppInstance(Role role, std::unique_ptr<InstanceLock> lock,
                         std::unique_ptr<InstanceServer> server)
    : role_(role), lock_(std::move(lock)), server_(std::move(server)) {}

AppInstance::AppInstance(AppInstance&&) noexcept = default;
AppInstance& AppInstance::operator=(AppInstance&&) noexcept = default;
AppInstance::~AppInstance() = default;

void AppInstance::setComeForward(std::function<void()> comeForward) {
  if (server_) server_->setComeForward(std::move(comeForward));
}

void AppInstance::release() {
  server_.reset();
  lock_.reset();
}

void bringToFront(QWidget& window) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.show();
  window.raise();
  window.activateWindow();
}

int reportNoAnswer() {
  std::cerr << kNoAnswerMessage << std::endl;
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kNoAnswerTitle),
                  QString::fromUtf8(kNoAnswerMessage), QMessageBox::Ok);
  // As with the library window: closing the box ends the loop, and so does a request to quit.
  box.show();
  QApplication::exec();
  return 1;
}

}  // namespace velloran
