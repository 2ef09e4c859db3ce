#include "platform/mirror/MirrorEvent.h"

namespace platform {
namespace {

constexpr std::string_view kIdentifier = "identifier";
constexpr std::string_view kStoreIdentifier = "storeIdentifier";
constexpr std::string_view kType = "type";
constexpr std::string_view kSucceeded = "succeeded";
constexpr std::string_view kStartDate = "startDate";
constexpr std::string_view kEndDate = "endDate";
constexpr std::string_view kError = "error";
constexpr std::string_view kDomain = "domain";
constexpr std::string_view kCode = "code";
constexpr std::string_view kDescription = "description";

std::optional<UUID> uuidAt(const Value& value, std::string_view key) {
  const Value* found = value.find(key);
  if (!found || !found->asString()) return std::nullopt;
  return UUID::fromString(*found->asString());
}

std::optional<Error> errorFrom(const Value& value) {
  const Value* domain = value.find(kDomain);
  const Value* code = value.find(kCode);
  const Value* description = value.find(kDescription);
  if (!domain || !domain->asString() || !code || !code->asInteger() || !description ||
      !description->asString()) {
    return std::nullopt;
  }
  return Error(*domain->asString(), *code->asInteger(), *description->asString());
}

}  // namespace

Value MirrorEvent::toValue() const {
  Dictionary event{
      {std::string(kIdentifier), identifier.uuidString()},
      {std::string(kStoreIdentifier), storeIdentifier.uuidString()},
      {std::string(kType), static_cast<int>(type)},
      {std::string(kSucceeded), succeeded},
      {std::string(kStartDate), startDate},
  };
  if (endDate) event.emplace(std::string(kEndDate), *endDate);
  if (error) {
    event.emplace(std::string(kError), Dictionary{{std::string(kDomain), error->domain},
                                                  {std::string(kCode), error->code},
                                                  {std::string(kDescription), error->description}});
  }
  return event;
}

std::optional<MirrorEvent> MirrorEvent::fromValue(const Value& value) {
  if (!value.isDictionary()) return std::nullopt;
  MirrorEvent event;
  std::optional<UUID> identifier = uuidAt(value, kIdentifier);
  std::optional<UUID> store = uuidAt(value, kStoreIdentifier);
  const Value* type = value.find(kType);
  const Value* succeeded = value.find(kSucceeded);
  const Value* startDate = value.find(kStartDate);
  if (!identifier || !store || !type || !type->asInteger() || !succeeded || !succeeded->asBool() ||
      !startDate || !startDate->asDate()) {
    return std::nullopt;
  }
  const std::int64_t typeNumber = *type->asInteger();
  if (typeNumber < 0 || typeNumber > static_cast<int>(Type::Export)) return std::nullopt;
  event.identifier = *identifier;
  event.storeIdentifier = *store;
  event.type = static_cast<Type>(typeNumber);
  event.succeeded = *succeeded->asBool();
  event.startDate = *startDate->asDate();
  if (const Value* endDate = value.find(kEndDate)) {
    if (!endDate->asDate()) return std::nullopt;
    event.endDate = *endDate->asDate();
  }
  if (const Value* error = value.find(kError)) {
    event.error = errorFrom(*error);
    if (!event.error) return std::nullopt;
  }
  return event;
}

std::optional<MirrorEvent> MirrorEvent::fromNotification(const Notification& notification) {
  if (!notification.userInfo) return std::nullopt;
  auto entry = notification.userInfo->find(kMirrorEventUserInfoKey);
  if (entry == notification.userInfo->end()) return std::nullopt;
  return fromValue(entry->second);
}

bool operator==(const MirrorEvent& a, const MirrorEvent& b) {
  const auto sameError = [](const std::optional<Error>& x, const std::optional<Error>& y) {
    if (!x || !y) return !x && !y;
    return x->is(y->domain, y->code) && x->description == y->description;
  };
  return a.identifier == b.identifier && a.storeIdentifier == b.storeIdentifier && a.type == b.type &&
         a.succeeded == b.succeeded && sameError(a.error, b.error) && a.startDate == b.startDate &&
         a.endDate == b.endDate;
}

}  // namespace platform
