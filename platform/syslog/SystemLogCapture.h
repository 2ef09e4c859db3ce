#pragma once
// A capture sink for tests: while one exists, every line written by any SystemLogClient of the
// process is recorded here, with whether the client's filter mask let it through, and nothing goes
// to the real system log. Descriptors added to clients still receive their lines.
//
// Captures nest: a newer capture takes the lines until it is destroyed, then the older one does
// again. Destroy captures in the reverse order of their creation (scoped objects do).
// Thread-safe: lines may arrive from any thread while the test reads them.

#include <string>
#include <vector>

namespace platform {

struct CapturedLogLine {
  int level = 0;
  std::string text;
  bool passedFilter = false;

  friend bool operator==(const CapturedLogLine&, const CapturedLogLine&) = default;
};

class SystemLogCapture {
 public:
  SystemLogCapture();
  ~SystemLogCapture();
  SystemLogCapture(const SystemLogCapture&) = delete;
  SystemLogCapture& operator=(const SystemLogCapture&) = delete;

  // The lines recorded so far, oldest first.
  std::vector<CapturedLogLine> lines() const;

 private:
  friend class SystemLogClient;
  // Records the line in the capture in force; false when there is none.
  static bool offer(const CapturedLogLine& line);

  SystemLogCapture* previous_ = nullptr;
  std::vector<CapturedLogLine> lines_;
};

}  // namespace platform
