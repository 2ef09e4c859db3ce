#include "platform/identity/RandomSource.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>

namespace platform {
namespace {

class SystemRandomSource final : public RandomSource {
 private:
  bool draw(std::span<std::uint8_t> out, std::string* failureReason) override {
    // RAND_bytes takes an int count; larger requests are served in chunks.
    for (std::size_t done = 0; done < out.size();) {
      const int chunk = static_cast<int>(std::min<std::size_t>(out.size() - done, INT_MAX));
      if (RAND_bytes(out.data() + done, chunk) != 1) {
        if (failureReason) *failureReason = lastOpenSslError();
        return false;
      }
      done += static_cast<std::size_t>(chunk);
    }
    return true;
  }

  static std::string lastOpenSslError() {
    const unsigned long code = ERR_get_error();
    if (code == 0) return "the random generator could not be seeded";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
  }
};

}  // namespace

RandomSource& systemRandomSource() {
  // Never destroyed: background queues may still make identifiers while exit handlers run.
  static SystemRandomSource& source = *new SystemRandomSource;
  return source;
}

}  // namespace platform
