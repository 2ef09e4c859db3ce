#pragma once
// Where the other-apps section gets its records: a directory of store applications looked up by
// their store IDs. AppStoreLookupService is the real one; tests give the section a fake
// (Velloran/services/testing).

#include <string>
#include <vector>

#include "Velloran/data/Completion.h"
#include "Velloran/services/AppStoreApp.h"

namespace velloran {

class AppDirectoryProviding {
 public:
  virtual ~AppDirectoryProviding() = default;

  // Called on the main thread. The completion runs exactly once, later, on the main queue, with the
  // records in the order of `ids` or the failure.
  virtual void fetchApps(std::vector<std::string> ids, Completion<std::vector<AppStoreApp>> completion) = 0;
};

}  // namespace velloran
