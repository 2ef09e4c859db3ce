#include "sdk-core/CoreError.h"

#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

// Never destroyed: SDK queues may still make core errors while exit handlers run.
const std::string& kBCNErrorDomainCore = *new std::string(vendorLabel("core"));

void raiseCoreException(const std::string& reason) {
  throw platform::ProgrammerError(kBCNErrorDomainCore, reason);
}

}  // namespace beacon
