#pragma once
// What the installation lifecycle asks of the installations service (BCNInstallationsAPIService
// is the real one; lifecycle tests give a scripted one). Each call fulfils with the record the
// service's answer makes, or fails with an installations error, an HTTP error for a refused request.

#include "installations/BCNInstallationsItem.h"
#include "promises/CVPPromise.h"

namespace beacon {

class BCNInstallationsAPIServiceProtocol {
 public:
  virtual ~BCNInstallationsAPIServiceProtocol() = default;

  // The registered record (status 2, tokens, possibly another installation ID).
  virtual CVPPromise<BCNInstallationsItem> registerInstallation(const BCNInstallationsItem& installation) = 0;
  // A copy of the record with a new auth token.
  virtual CVPPromise<BCNInstallationsItem> refreshAuthTokenForInstallation(
      const BCNInstallationsItem& installation) = 0;
  // The same record once the service has deleted it.
  virtual CVPPromise<BCNInstallationsItem> deleteInstallation(const BCNInstallationsItem& installation) = 0;
};

}  // namespace beacon
