#include "platform/identity/IdentifierSource.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<RandomSource*> replacement{nullptr};

}  // namespace

RandomSource& identifierSource() {
  RandomSource* source = replacement.load(std::memory_order_acquire);
  return source ? *source : systemRandomSource();
}

RandomSource* replaceIdentifierSource(RandomSource* source) {
  return replacement.exchange(source, std::memory_order_acq_rel);
}

}  // namespace platform
