#pragma once
// What the mirror tells the application about its work: one event when an operation starts and one
// when it ends, both carrying the same identifier.
//
// Operations: setting up (checking that there is an account and a folder to mirror to), importing
// other machines' changes and exporting this store's changes. An ended event has an end date and
// says whether the operation succeeded; a failed one carries the error.
//
// Events travel as kMirrorEventChangedNotification on the container's notification centre, sender:
// the container (PersistentContainer::notificationSender()), the event under kMirrorEventUserInfoKey
// in the user info. The mirror posts them from its own queue; observers choose their delivery queue.
//
// A plain value.

#include <optional>
#include <string_view>

#include "platform/error/Error.h"
#include "platform/identity/UUID.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/value/Value.h"

namespace platform {

inline constexpr std::string_view kMirrorEventChangedNotification = "CloudMirrorEventChanged";
inline constexpr std::string_view kMirrorEventUserInfoKey = "event";

struct MirrorEvent {
  // The numbers are part of the event's form.
  enum class Type { Setup = 0, Import = 1, Export = 2 };

  UUID identifier;
  // The store the operation worked for.
  UUID storeIdentifier;
  Type type = Type::Setup;
  bool succeeded = false;
  std::optional<Error> error;
  Date startDate;
  std::optional<Date> endDate;

  // The event as a user-info value. Errors keep their domain, code and description.
  Value toValue() const;
  // The event a value holds; nullopt for anything that is not an event in that form.
  static std::optional<MirrorEvent> fromValue(const Value& value);
  // The event a notification carries; nullopt without user info, without an entry under the key,
  // or with an entry that is not an event.
  static std::optional<MirrorEvent> fromNotification(const Notification& notification);

  friend bool operator==(const MirrorEvent&, const MirrorEvent&);
};

}  // namespace platform
