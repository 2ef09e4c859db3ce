#include "platform/identity/RandomSource.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Straight from the kernel: no library state that exit handlers could tear down while background
// queues still make identifiers.
class SystemRandomSource final : public RandomSource {
 private:
  bool draw(std::span<std::uint8_t> out, std::string* failureReason) override {
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t got = ::getrandom(out.data() + done, out.size() - done, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        if (failureReason) *failureReason = std::strerror(errno);
        return false;
      }
      done += static_cast<std::size_t>(got);
    }
    return true;
  }
};

}  // namespace

RandomSource& systemRandomSource() {
  // Never destroyed: background queues may still make identifiers while exit handlers run.
  static SystemRandomSource& source = *new SystemRandomSource;
  return source;
}

}  // namespace platform
