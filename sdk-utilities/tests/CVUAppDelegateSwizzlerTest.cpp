// The app-delegate proxy: installation, forwarding order and result, and the interceptor registry.

#include "sdk-utilities/appdelegate/CVUAppDelegateSwizzler.h"

#include <gtest/gtest.h>

#include "LoggerCapture.h"
#include "platform/bundle/Bundle.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon::testing {
namespace {

// A delegate or interceptor that records the calls it gets into a shared journal.
class Recorder : public platform::ApplicationDelegate {
 public:
  Recorder(std::string name, std::vector<std::string>& journal, std::optional<bool> answer)
      : name_(std::move(name)), journal_(journal), answer_(answer) {}

  std::optional<bool> continueUserActivity(platform::Application&, const platform::UserActivity&,
                                           const platform::RestorationHandler&) override {
    if (!answer_) return std::nullopt;
    journal_.push_back(name_);
    return answer_;
  }
  bool didReceiveRemoteNotification(platform::Application&, const platform::Dictionary&) override {
    journal_.push_back(name_ + ":remote");
    return true;
  }
  std::string className() const override { return "VelloranAppDelegate"; }

 private:
  std::string name_;
  std::vector<std::string>& journal_;
  std::optional<bool> answer_;
};

class AppDelegateProxyTest : public LoggerTest {
 protected:
  AppDelegateProxyTest() { useInfo({}); }

  void useInfo(platform::Dictionary info) {
    info.emplace("CFBundleIdentifier", platform::Value("com.test.proxy"));
    user.writeInfo(info);
    platform::Bundle::resetMainForTesting();
  }
  bool logged(const std::string& code) {
    for (const auto& line : writtenLines()) {
      if (line.text.find("[" + code + "]") != std::string::npos) return true;
    }
    return false;
  }
  bool continueActivity() {
    auto answer =
        application.delegate()->continueUserActivity(application, {"browsing", "https://x/y", {}}, [] {});
    return answer.value_or(false);
  }

  platform::testing::TemporaryUser user;
  platform::Application& application = platform::Application::shared();
  std::vector<std::string> journal;
};

TEST_F(AppDelegateProxyTest, ADisabledProxyLeavesTheDelegateAlone) {
  useInfo({{"CorvaneUtilitiesAppDelegateProxyEnabled", platform::Value(false)}});
  auto delegate = std::make_shared<Recorder>("delegate", journal, true);
  application.setDelegate(delegate);
  EXPECT_FALSE(CVUAppDelegateSwizzler::isAppDelegateProxyEnabled());
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  EXPECT_EQ(application.delegate(), delegate);
  EXPECT_TRUE(logged("I-SWZ001011"));
}

TEST_F(AppDelegateProxyTest, OnlyANumberCanSwitchTheProxyOff) {
  useInfo({{"BeaconAppDelegateProxyEnabled", platform::Value("NO")}});
  EXPECT_TRUE(CVUAppDelegateSwizzler::isAppDelegateProxyEnabled());
  useInfo({{"BeaconAppDelegateProxyEnabled", platform::Value(0)}});
  EXPECT_FALSE(CVUAppDelegateSwizzler::isAppDelegateProxyEnabled());
}

TEST_F(AppDelegateProxyTest, TheProxyIsNamedAfterTheRealClassAndDescribesItselfAsIt) {
  auto delegate = std::make_shared<Recorder>("delegate", journal, false);
  application.setDelegate(delegate);
  CVULoggerSetLevel(kCVULoggerLevelDebug);
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  auto proxy = application.delegate();
  ASSERT_NE(proxy, delegate);
  EXPECT_EQ(CVUAppDelegateSwizzler::originalDelegate(), proxy);
  const std::string name = proxy->className();
  EXPECT_EQ(name.rfind("CVU_VelloranAppDelegate-", 0), 0u);
  EXPECT_EQ(name.size(), std::string("CVU_VelloranAppDelegate-").size() + 36);
  EXPECT_EQ(proxy->description().rfind("<VelloranAppDelegate: 0x", 0), 0u);
  EXPECT_TRUE(logged("I-SWZ001008"));

  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  EXPECT_EQ(application.delegate(), proxy);
}

TEST_F(AppDelegateProxyTest, InterceptorsRunFirstAndTheirAnswersAreOred) {
  application.setDelegate(std::make_shared<Recorder>("delegate", journal, false));
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  auto interceptor = std::make_shared<Recorder>("interceptor", journal, true);
  CVUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
  EXPECT_TRUE(continueActivity());
  EXPECT_EQ(journal, (std::vector<std::string>{"interceptor", "delegate"}));
}

TEST_F(AppDelegateProxyTest, ADelegateWithoutTheCallLeavesTheAnswerToTheInterceptors) {
  application.setDelegate(std::make_shared<Recorder>("delegate", journal, std::nullopt));
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  EXPECT_FALSE(continueActivity());
  auto interceptor = std::make_shared<Recorder>("interceptor", journal, true);
  CVUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
  EXPECT_TRUE(continueActivity());
  EXPECT_EQ(journal, std::vector<std::string>{"interceptor"});
}

TEST_F(AppDelegateProxyTest, AGoneInterceptorIsDroppedAtTheNextCall) {
  application.setDelegate(std::make_shared<Recorder>("delegate", journal, false));
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  auto interceptor = std::make_shared<Recorder>("interceptor", journal, true);
  const std::string interceptorID = CVUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
  EXPECT_EQ(interceptorID.rfind("CVU_0x", 0), 0u);
  interceptor.reset();
  EXPECT_FALSE(continueActivity());
  EXPECT_TRUE(logged("I-SWZ001010"));
  CVUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(interceptorID);
  EXPECT_TRUE(logged("I-SWZ001004"));
}

TEST_F(AppDelegateProxyTest, RegistryMisuseIsAProgrammerError) {
  EXPECT_THROW(CVUAppDelegateSwizzler::registerAppDelegateInterceptor(nullptr), platform::ProgrammerError);
  EXPECT_THROW(CVUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(""), platform::ProgrammerError);
  auto interceptor = std::make_shared<Recorder>("interceptor", journal, true);
  const std::string interceptorID = CVUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
  CVUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(interceptorID);
  EXPECT_FALSE(logged("I-SWZ001004"));
}

TEST_F(AppDelegateProxyTest, RemoteNotificationCallsReachInterceptorsOnlyWhenProxied) {
  application.setDelegate(std::make_shared<Recorder>("delegate", journal, false));
  auto interceptor = std::make_shared<Recorder>("interceptor", journal, true);
  CVUAppDelegateSwizzler::registerAppDelegateInterceptor(interceptor);
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  application.delegate()->didReceiveRemoteNotification(application, {});
  EXPECT_EQ(journal, std::vector<std::string>{"delegate:remote"});
  journal.clear();
  CVUAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods();
  application.delegate()->didReceiveRemoteNotification(application, {});
  EXPECT_EQ(journal, (std::vector<std::string>{"interceptor:remote", "delegate:remote"}));
}

TEST_F(AppDelegateProxyTest, ANewApplicationDelegateMakesTheProxyForgetTheOldOne) {
  application.setDelegate(std::make_shared<Recorder>("delegate", journal, false));
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  ASSERT_TRUE(CVUAppDelegateSwizzler::originalDelegate());
  application.setDelegate(std::make_shared<Recorder>("other", journal, false));
  EXPECT_FALSE(CVUAppDelegateSwizzler::originalDelegate());
}

TEST_F(AppDelegateProxyTest, WithoutADelegateNothingIsInstalled) {
  application.setDelegate(nullptr);
  CVUAppDelegateSwizzler::proxyOriginalDelegate();
  EXPECT_FALSE(application.delegate());
  EXPECT_TRUE(logged("I-SWZ001014"));
  EXPECT_EQ(CVUAppDelegateSwizzler::correctAppDelegateProxyKey(), "CorvaneUtilitiesAppDelegateProxyEnabled");
  EXPECT_EQ(CVUAppDelegateSwizzler::correctAlternativeWhenAppDelegateProxyNotCreated(), "");
}

}  // namespace
}  // namespace beacon::testing
