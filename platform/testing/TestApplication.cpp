#include "platform/testing/TestApplication.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesDomain.h"

namespace platform::testing {

TestApplication::TestApplication(const Dictionary& info) {
  writeInfo(info);
}

TestApplication::~TestApplication() {
  restart();
}

void TestApplication::writeInfo(const Dictionary& info) {
  user_.writeInfo(info);
  restart();
}

void TestApplication::restart() {
  Bundle::resetMainForTesting();
  PreferencesDomain::resetForTesting();
}

}  // namespace platform::testing
