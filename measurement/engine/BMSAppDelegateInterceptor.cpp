#include "measurement/engine/BMSAppDelegateInterceptor.h"

namespace beacon {

std::shared_ptr<BMSAppDelegateInterceptor> BMSAppDelegateInterceptor::sharedInstance() {
  static const std::shared_ptr<BMSAppDelegateInterceptor> interceptor(new BMSAppDelegateInterceptor());
  return interceptor;
}

}  // namespace beacon
