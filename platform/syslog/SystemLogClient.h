#pragma once
// A client of the machine's system log. A client carries a facility label (the tag that names the
// writer of every line it sends), a filter mask that decides which levels reach the system log, and
// a list of further file descriptors — standard error among them when asked for — that receive
// every line written, whatever the mask, so a developer watching the console sees all of it.
//
// Levels use the system log's numbering: 0 emergency, 1 alert, 2 critical, 3 error, 4 warning,
// 5 notice, 6 info, 7 debug. A level outside 0..7 is taken as the nearest valid one, so a stray
// number can never select another facility of the system log.
//
// The system log is reached through syslog(3) on the user facility. Where the machine has no system
// log (no /dev/log, as in containers and CI) lines meant for it vanish without a word. While a
// SystemLogCapture exists, lines meant for the system log go to it instead (see SystemLogCapture.h).
//
// Thread-safe: any thread may write, change the mask or add descriptors.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SystemLogOptions {
  bool echoToStandardError = false;
};

class SystemLogClient {
 public:
  static constexpr int kHighestLevel = 7;
  // The mask that lets through every level up to and including `level`.
  static constexpr int maskUpTo(int level) { return (1 << (level + 1)) - 1; }

  // Opens a client. The filter starts at "up to notice", the system log's usual default.
  explicit SystemLogClient(std::string facility, SystemLogOptions options = {});
  SystemLogClient(const SystemLogClient&) = delete;
  SystemLogClient& operator=(const SystemLogClient&) = delete;

  const std::string& facility() const { return facility_; }

  // Bit n of the mask lets level n through to the system log.
  void setFilterMask(int mask) { filterMask_.store(mask); }
  int filterMask() const { return filterMask_.load(); }

  // Adds a destination for every later line. The descriptor stays the caller's: it is never closed
  // here and must stay open while the client lives. Adding one twice, or a negative one, changes
  // nothing.
  void addDescriptor(int fd);

  // Writes one line at `level`. A descriptor whose reader has gone away is skipped without
  // disturbing the process.
  void write(int level, std::string_view text);

 private:
  const std::string facility_;
  std::atomic<int> filterMask_;
  std::mutex descriptorsMutex_;
  std::vector<int> descriptors_;
};

}  // namespace platform
