#pragma once
// Test doubles for RandomSource: a source that repeats a byte pattern, and one that always fails.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/identity/RandomSource.h"

namespace platform {

class PatternRandomSource final : public RandomSource {
 public:
  explicit PatternRandomSource(std::vector<std::uint8_t> pattern) : pattern_(std::move(pattern)) {}

 private:
  bool draw(std::span<std::uint8_t> out, std::string*) override {
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = pattern_[i % pattern_.size()];
    return true;
  }
  std::vector<std::uint8_t> pattern_;
};

class FailingRandomSource final : public RandomSource {
 private:
  bool draw(std::span<std::uint8_t>, std::string* failureReason) override {
    if (failureReason) *failureReason = "no entropy";
    return false;
  }
};

}  // namespace platform
