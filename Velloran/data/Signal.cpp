#include "Velloran/data/Signal.h"

namespace velloran {

Subscription& Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    reset();
    connection_ = std::move(other.connection_);
  }
  return *this;
}

void Subscription::reset() {
  if (const auto connection = connection_.lock()) connection->connected = false;
  connection_.reset();
}

bool Subscription::isConnected() const {
  const auto connection = connection_.lock();
  return connection && connection->connected;
}

}  // namespace velloran
