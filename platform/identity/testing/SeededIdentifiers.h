#pragma once
// For tests: while one of these lives, new identifiers (UUID::random without a source of its own)
// come from a generator seeded with the given seed, so a seeded run makes the same identifiers, and
// every order and name that follows from them, again. Scopes nest: the one before is back once a
// scope ends. Draws may come from any thread; a scope must end only once no thread draws any more.

#include <cstdint>
#include <mutex>
#include <random>
#include <span>
#include <string>

#include "platform/identity/IdentifierSource.h"

namespace platform::testing {

class SeededIdentifiers {
 public:
  explicit SeededIdentifiers(std::uint64_t seed)
      : source_(seed), replaced_(replaceIdentifierSource(&source_)) {}
  ~SeededIdentifiers() { replaceIdentifierSource(replaced_); }
  SeededIdentifiers(const SeededIdentifiers&) = delete;
  SeededIdentifiers& operator=(const SeededIdentifiers&) = delete;

 private:
  class SeededSource final : public RandomSource {
   public:
    explicit SeededSource(std::uint64_t seed) : generator_(seed) {}

   private:
    bool draw(std::span<std::uint8_t> out, std::string*) override {
      const std::lock_guard lock(mutex_);
      for (std::uint8_t& byte : out) byte = static_cast<std::uint8_t>(generator_());
      return true;
    }

    std::mutex mutex_;
    std::mt19937_64 generator_;
  };

  SeededSource source_;
  RandomSource* replaced_;
};

}  // namespace platform::testing
