#include "measurement/audiences/BMSEManager.h"

namespace beacon {

std::shared_ptr<BMSEManager> BMSEManager::sharedInstance() {
  static const std::shared_ptr<BMSEManager> manager(new BMSEManager());
  return manager;
}

}  // namespace beacon
