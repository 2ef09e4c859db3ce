#pragma once
// Ends the application's event loop cleanly when the process is asked to stop (SIGTERM, or SIGINT
// from a terminal), so everything made in main() is torn down in order instead of the process
// dying mid-write.
//
// The signal handler only writes one byte into a socket pair (which a handler may do); the quit
// itself happens on the main thread when the event loop reads it. Both signals are unblocked once
// the handlers are in place, so a request that arrived earlier - even before the program started,
// from a parent that launched it with the signals blocked - is acted on as soon as the loop runs.
//
// One at a time, on the main thread, after the QApplication exists and for as long as the loop
// runs. Destroying it puts the default handlers back.

#include <QObject>

class QSocketNotifier;

namespace velloran {

class TerminationSignals final : public QObject {
 public:
  TerminationSignals();
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velloran
