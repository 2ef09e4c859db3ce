#pragma once
// What every fuzz target shares: a check that stops the run with a message when an invariant of the
// code under test breaks, so libFuzzer keeps the input that broke it, and the input as text.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace velloran::fuzz {

inline void check(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", invariant);
  std::abort();
}

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace velloran::fuzz
