#pragma once
// The per-currency lifetime value of purchases: each purchase event's "value" in its "currency" is
// added to the user property "_ltv_<CURRENCY>". Runs on the engine's worker queue inside the event
// pipeline's storage transaction, so a failure rolls the whole event back.

#include <memory>

#include "measurement/engine/BMSEvent.h"

namespace beacon {

class BMSDatabase;

class BMSLifetimeValueRecorder {
 public:
  // "_iap", "purchase" and "ecommerce_purchase".
  static bool isPurchaseEvent(const BMSEvent& event);
  // Adds the event's value to the lifetime value of its currency, set now (seconds since 1970) with
  // origin "auto". True when stored, or when the event has no numeric value or no three-letter
  // currency (nothing to add); false (logged) when the database fails.
  static bool recordLifetimeValueToDatabase(BMSDatabase& database, const BMSEvent& event,
                                            double nowSince1970);
};

}  // namespace beacon
