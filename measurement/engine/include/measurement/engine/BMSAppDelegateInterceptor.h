#pragma once
// The engine's interceptor at the app-delegate proxy: the facade registers the one shared instance
// when it starts, so the proxy is installed on the engine's behalf. It implements no delegate call,
// so the proxy forwards nothing to it. The instance lives as long as the process (the proxy holds
// interceptors weakly).

#include <memory>

#include "platform/app/Application.h"

namespace beacon {

class BMSAppDelegateInterceptor final : public platform::ApplicationDelegate {
 public:
  static std::shared_ptr<BMSAppDelegateInterceptor> sharedInstance();

  std::string className() const override { return "BMSAppDelegateInterceptor"; }

 private:
  BMSAppDelegateInterceptor() = default;
};

}  // namespace beacon
