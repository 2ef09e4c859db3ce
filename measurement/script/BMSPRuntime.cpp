#include "measurement/script/BMSEventEditingRuntime.h"

namespace beacon {

std::int64_t BMSPRuntime::runtimeVersion() {
  return kNoRuntimeVersion;
}

}  // namespace beacon
