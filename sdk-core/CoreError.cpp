#include "sdk-core/CoreError.h"

#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

const std::string kBCNErrorDomainCore = vendorLabel("core");

void raiseCoreException(const std::string& reason) {
  throw platform::ProgrammerError(kBCNErrorDomainCore, reason);
}

}  // namespace beacon
