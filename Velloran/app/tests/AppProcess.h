#pragma once
// The real velloran executable as a child process of one test. It inherits the test's environment
// (set the temporary user, the bundle folder and the service origin before starting it); its
// standard output and standard error go to files in a folder the test names.
//
// A run either starts with its stop already requested - SIGTERM blocked and pending, so the app
// acts on it exactly when its event loop first runs, after the whole start-up - or runs until the
// test asks it to stop. Destroying a run that is still going kills it.
//
// Waiting is bounded only by guards against a hung app, never by a speed requirement.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velloran::testing {

class AppProcess {
 public:
  enum class Start { running, stopRequested };

  // Starts `executable` with `arguments`; its output files are made in `outputFolder`.
  AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
             const std::filesystem::path& outputFolder, Start start);
  ~AppProcess();
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  bool started() const { return child_ > 0; }
  // Asks the app to quit, as a desktop session does at log-out.
  void requestStop();
  // The exit status once the app has exited; -1 when it did not exit normally (a crash, a signal)
  // or had to be killed because it hung.
  int waitForExit();

  std::string standardOutput() const;
  std::string standardError() const;

 private:
  pid_t child_ = -1;
  std::filesystem::path outputFile_;
  std::filesystem::path errorFile_;
};

// Whether `condition` comes to hold, checked every few milliseconds; false only when it still does
// not after a bound long enough to mean a hang.
bool eventually(const std::function<bool()>& condition);

}  // namespace velloran::testing
