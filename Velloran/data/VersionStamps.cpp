#include "Velloran/data/VersionStamps.h"

namespace velloran {

platform::Date stampAfter(std::optional<platform::Date> newest, platform::Date stamp) {
  if (!newest) return stamp;
  const platform::Date following{newest->secondsSinceReferenceDate + kVersionStampTick};
  return stamp < following ? following : stamp;
}

platform::Date newVersionStamp(const Prompt& prompt, platform::Date now) {
  std::optional<platform::Date> newest;
  for (const PromptVersion& version : prompt.versions) {
    if (!newest || *newest < version.createdAt) newest = version.createdAt;
  }
  return stampAfter(newest, now);
}

}  // namespace velloran
