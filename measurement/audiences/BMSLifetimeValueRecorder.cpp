#include "measurement/audiences/BMSLifetimeValueRecorder.h"

#include <algorithm>
#include <cctype>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSDatabase.h"

namespace beacon {
namespace {

constexpr std::int64_t kLifetimeValueReadFailed = 22001;
constexpr std::int64_t kLifetimeValueWriteFailed = 22002;
constexpr std::int64_t kLifetimeValueRefused = 22003;

std::optional<double> numericValue(const BMSValue& value) {
  if (value.isDouble()) return value.doubleValue();
  if (value.isInt64()) return static_cast<double>(value.int64Value());
  return std::nullopt;
}

// The currency code upper-cased; nothing unless it is three ASCII letters.
std::optional<std::string> currencyCode(const BMSValue& value) {
  const std::string* text = value.stringValue();
  if (!text || text->size() != 3) return std::nullopt;
  std::string code = *text;
  for (char& letter : code) {
    if (!std::isalpha(static_cast<unsigned char>(letter))) return std::nullopt;
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  }
  return code;
}

}  // namespace

bool BMSLifetimeValueRecorder::isPurchaseEvent(const BMSEvent& event) {
  const std::string& name = event.name();
  return name == "_iap" || name == "purchase" || name == "ecommerce_purchase";
}

bool BMSLifetimeValueRecorder::recordLifetimeValueToDatabase(BMSDatabase& database, const BMSEvent& event,
                                                             double nowSince1970) {
  const auto& parameters = event.parameters();
  const auto value = parameters.find("value");
  const auto currency = parameters.find("currency");
  if (value == parameters.end() || currency == parameters.end()) return true;
  const std::optional<double> amount = numericValue(value->second);
  const std::optional<std::string> code = currencyCode(currency->second);
  if (!amount || !code) return true;

  const std::string name = "_ltv_" + *code;
  auto stored = database.userAttributeWithName(name);
  if (!stored) {
    BMSLog(1, kLifetimeValueReadFailed, "Failed to read the lifetime value. Currency, error",
           {*code, BMSContextFromError(stored.error())});
    return false;
  }
  const double total = *amount + (*stored ? numericValue((*stored)->value()).value_or(0) : 0);
  auto attribute =
      BMSUserAttribute::initWithOrigin("auto", name, BMSValue::initWithDouble(total), nowSince1970);
  if (!attribute) {
    // Not a storage failure: keep the event, without its contribution.
    BMSLog(2, kLifetimeValueRefused, "Lifetime value refused. Currency", {*code});
    return true;
  }
  if (auto updated = database.updateUserAttribute(*attribute); !updated) {
    BMSLog(1, kLifetimeValueWriteFailed, "Failed to store the lifetime value. Currency, error",
           {*code, BMSContextFromError(updated.error())});
    return false;
  }
  return true;
}

}  // namespace beacon
