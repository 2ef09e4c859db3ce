#include "Velloran/viewmodels/MainThread.h"

#include <string>

#include "platform/error/Error.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {

void requireMainThread(const char* owner, const char* operation) {
  if (platform::ProcessInfo::isMainThread()) return;
  throw platform::ProgrammerError("ViewModelOffMainThread",
                                  std::string(owner) + "::" + operation + " called off the main thread");
}

}  // namespace velloran
