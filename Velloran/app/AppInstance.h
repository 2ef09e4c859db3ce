#pragma once
// One running app per data folder. Every start first claims its data folder: the start that takes
// the folder's lock runs the app and listens for later starts (InstanceHandOver.h); a later start
// opens neither the library nor the analytics SDK - it asks the running instance to bring its
// window to the front and ends. The lock alone decides which start runs, so of starts at the same
// moment exactly one runs, and a run that was killed leaves nothing that keeps the next one from
// running.
//
// The lock file lies beside the data folder, in its parent (DATA/com.velloran.Velloran.lock): a
// failed first start still finds the data folder as empty as it made it and removes it, and every
// start agrees on the lock whatever runtime or temporary folder its environment names. The parent
// is made when it is missing, as the store would make it.
//
// A later start waits for the running instance's answer up to a bound that leaves room for one still
// starting (it answers once its event loop runs); meanwhile it tries the lock again, so a running
// instance that ends or is killed lets the waiting start run instead. Without an answer by then the
// start ends with a failure and says so. Where no lock is to be had (no data folder can be named,
// the lock file cannot be made, the file system keeps no locks), the start runs, after one line on
// standard error.
//
// Main thread, once the QApplication exists; the claim of the start that runs lives until the
// process ends.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

class QWidget;

namespace velloran {

class InstanceLock;
class InstanceServer;

inline constexpr const char* kHandedOverLine =
    "Velloran läuft bereits: das Fenster der laufenden App wurde nach vorn geholt.";
inline constexpr const char* kNoAnswerTitle = "Velloran antwortet nicht";
inline constexpr const char* kNoAnswerMessage =
    "Velloran läuft bereits, hat aber nicht rechtzeitig geantwortet. Warte, bis sein Fenster erscheint, "
    "oder beende das laufende Velloran und starte es dann neu.";
inline constexpr const char* kNoLockFormat =
    "Velloran kann nicht sicherstellen, dass es nur einmal läuft: die Sperrdatei „%@“ lässt sich nicht "
    "sperren (%@). Es startet trotzdem.";
inline constexpr const char* kNotReachableFormat =
    "Velloran ist für einen zweiten Start nicht erreichbar (%@): der meldet dann, dass Velloran nicht "
    "antwortet.";

class AppInstance {
 public:
  enum class Role {
    // This start runs the app.
    running,
    // The running instance has the request to come forward: this start ends.
    handedOver,
    // Another start holds the lock but gave no answer in time: this start ends with a failure.
    unanswered,
  };

  // How long a later start waits for the running instance's answer.
  static constexpr std::chrono::seconds kAnswerBound{5};

  // For the data folder the user's data root and the main bundle's identifier name.
  static AppInstance claimDataFolder();
  static AppInstance claim(const std::filesystem::path& dataFolder,
                           std::chrono::milliseconds answerBound = kAnswerBound);

  AppInstance(AppInstance&&) noexcept;
  AppInstance& operator=(AppInstance&&) noexcept;
  ~AppInstance();

  Role role() const { return role_; }

  // A running instance calls `comeForward` for every request of a later start (InstanceServer).
  void setComeForward(std::function<void()> comeForward);
  // Lets the lock go and stops listening, for a start that gives up before the process ends.
  void release();

 private:
  explicit AppInstance(Role role, std::unique_ptr<InstanceLock> lock = nullptr,
                       std::unique_ptr<InstanceServer> server = nullptr);

  Role role_;
  std::unique_ptr<InstanceLock> lock_;
  std::unique_ptr<InstanceServer> server_;
};

// Shows the window, un-minimised, above the others and active.
void bringToFront(QWidget& window);

// Tells the user that the running instance did not answer: the line on standard error, then the
// message box until they close it (or the application is asked to quit). Answers the exit status, 1.
int reportNoAnswer();

}  // namespace velloran
