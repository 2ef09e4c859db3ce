#include "measurement/audiences/BMSEManager.h"

namespace beacon {

BMSEManager& BMSEManager::sharedInstance() {
  static BMSEManager manager;
  return manager;
}

}  // namespace beacon
