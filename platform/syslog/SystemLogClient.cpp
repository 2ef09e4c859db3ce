#include "platform/syslog/SystemLogClient.h"

#include <syslog.h>

#include <algorithm>

#include "platform/syslog/DescriptorWrite.h"
#include "platform/syslog/SystemLogCapture.h"

namespace platform {
namespace {

constexpr int kStandardError = 2;
constexpr int kDefaultFilterLevel = 5;

// syslog(3) keeps one tag for the whole process and holds on to the pointer it is given, so the tag
// lives here, and every send re-tags only when a client with another facility writes.
struct OpenedSystemLog {
  std::mutex mutex;
  std::string facility;
  bool opened = false;
};

void sendToSystemLog(const std::string& facility, int level, const std::string& text) {
  // Never destroyed: background queues may still log while the process runs its exit handlers, and
  // syslog(3) may still hold the tag's pointer then.
  static OpenedSystemLog& openedLog = *new OpenedSystemLog;
  std::lock_guard lock(openedLog.mutex);
  if (!openedLog.opened || openedLog.facility != facility) {
    openedLog.facility = facility;
    // No console fallback: a machine without a system log stays silent.
    openlog(openedLog.facility.c_str(), LOG_PID, LOG_USER);
    openedLog.opened = true;
  }
  syslog(LOG_USER | level, "%s", text.c_str());
}

}  // namespace

SystemLogClient::SystemLogClient(std::string facility, SystemLogOptions options)
    : facility_(std::move(facility)), filterMask_(maskUpTo(kDefaultFilterLevel)) {
  if (options.echoToStandardError) descriptors_.push_back(kStandardError);
}

void SystemLogClient::addDescriptor(int fd) {
  if (fd < 0) return;
  std::lock_guard lock(descriptorsMutex_);
  if (std::find(descriptors_.begin(), descriptors_.end(), fd) == descriptors_.end())
    descriptors_.push_back(fd);
}

void SystemLogClient::write(int level, std::string_view text) {
  level = std::clamp(level, 0, kHighestLevel);
  const bool passedFilter = (filterMask_.load() & (1 << level)) != 0;
  std::string line(text);

  {
    std::lock_guard lock(descriptorsMutex_);
    if (!descriptors_.empty()) {
      const std::string withNewline = line + '\n';
      for (int fd : descriptors_) detail::writeToDescriptor(fd, withNewline);
    }
  }

  if (SystemLogCapture::offer(CapturedLogLine{level, line, passedFilter})) return;
  if (passedFilter) sendToSystemLog(facility_, level, line);
}

}  // namespace platform
