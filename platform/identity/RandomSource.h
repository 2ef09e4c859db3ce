#pragma once
// Where random bytes come from. The system source draws from the operating system's cryptographic
// generator (the kernel's) and may be shared by all threads. Code that needs repeatable draws in
// tests takes a RandomSource& and is handed a fake.

#include <cstdint>
#include <span>
#include <string>

namespace platform {

class RandomSource {
 public:
  virtual ~RandomSource() = default;

  // Fills all of `out`. False when the source could not deliver; then `failureReason`, when given,
  // receives the system's description of the failure and the contents of `out` are unspecified.
  bool fill(std::span<std::uint8_t> out, std::string* failureReason = nullptr) {
    return draw(out, failureReason);
  }

 private:
  virtual bool draw(std::span<std::uint8_t> out, std::string* failureReason) = 0;
};

// The process-wide cryptographic source; thread-safe.
RandomSource& systemRandomSource();

}  // namespace platform
