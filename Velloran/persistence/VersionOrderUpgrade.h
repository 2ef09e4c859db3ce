#pragma once
// Brings a store written before a prompt's versions were ordered by their stamps into that order,
// once, so that opening it in this release moves no prompt's current version.
//
// Such a store showed each prompt's versions by their numbers, and a clock set back between saves
// left later versions with earlier stamps; read by stamp, those would fall back in the list and an
// older text would become current without anyone changing it. The upgrade moves those stamps
// forward along the numbers (stampInNumberOrder, PromptObjects.h) and notes in the store's metadata
// that its versions are in stamp order, so later starts skip it. The moved stamps are ordinary local
// changes, and the mirror carries them to the other machines, which then agree on the same order.
// A prompt whose versions cannot be read is left as it is. An empty store is left unmarked, and
// unwritten: all that comes into it is in stamp order already.
//
// Runs in a context of the store, on its queue; the caller saves (and so commits the metadata note
// with the moved stamps, or neither).

#include <string_view>

#include "platform/error/Result.h"
#include "platform/pstore/ManagedObjectContext.h"

namespace velloran {

// The store metadata key that marks a store whose versions are in stamp order, and its value.
inline constexpr std::string_view kVersionOrderKey = "Velloran.versionOrder";
inline constexpr std::string_view kVersionOrderByStamp = "stamp";

// Does nothing when the store is marked already.
platform::Result<void> bringVersionOrderForward(platform::ManagedObjectContext& context);

}  // namespace velloran
