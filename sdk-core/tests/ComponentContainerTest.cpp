// The component container: which library wins a protocol, when components are made, caching, and
// instances of the wrong kind.

#include <gtest/gtest.h>

#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-core/tests/FakeLibrary.h"

namespace beacon {
namespace {

using testing::FakeLibrary;
using testing::LogLines;
using testing::TemporaryApplication;

std::shared_ptr<BCNApp> configuredApp(const std::string& name, const std::string& senderID = "42") {
  BCNApp::configureWithName(name, BCNOptions::initWithCorvaneAppID(testing::kValidAppID, senderID));
  return name == kBCNDefaultAppName ? BCNApp::defaultApp() : BCNApp::appNamed(name);
}

std::shared_ptr<FakeLibrary> libraryGreeting(const std::string& greeting, bool cacheable = true,
                                             std::shared_ptr<std::atomic<int>> calls = nullptr) {
  auto library = std::make_shared<FakeLibrary>();
  if (!calls) calls = std::make_shared<std::atomic<int>>(0);
  library->components = {testing::countingComponent(testing::greetingProtocol(), BCNInstantiationTiming::Lazy,
                                                    calls, greeting, cacheable)};
  return library;
}

std::string greetingOf(BCNComponentContainer& container) {
  auto service =
      BCNComponentType<testing::GreetingService>::instanceForProtocol(testing::greetingProtocol(), container);
  return service ? service->greeting() : "(none)";
}

TEST(ComponentContainer, TheFirstRegisteredLibraryWinsAProtocol) {
  TemporaryApplication application;
  // Registered in an order that differs from the names' order, so no sorting can fake the result.
  BCNApp::registerInternalLibrary(testing::announceLibrary("ZetaLibrary", libraryGreeting("zeta")), "zeta");
  BCNApp::registerInternalLibrary(testing::announceLibrary("AlphaLibrary", libraryGreeting("alpha")),
                                  "alpha");
  LogLines log;

  const std::shared_ptr<BCNApp> app = configuredApp("shop");

  EXPECT_EQ(greetingOf(*app->container()), "zeta");
  EXPECT_EQ(log.texts(),
            std::vector<std::string>{"12.4.0 - [BeaconCore][I-COR000029] Attempted to register protocol "
                                     "GreetingService, but it already has an implementation."});
}

TEST(ComponentContainer, DefaultAppOnlyComponentsAreEagerOnlyInTheDefaultApp) {
  TemporaryApplication application;
  auto calls = std::make_shared<std::atomic<int>>(0);
  auto library = std::make_shared<FakeLibrary>();
  library->components = {testing::countingComponent(
      testing::greetingProtocol(), BCNInstantiationTiming::EagerInDefaultApp, calls, "hello")};
  BCNApp::registerInternalLibrary(testing::announceLibrary("Library", library), "lib");

  const std::shared_ptr<BCNApp> named = configuredApp("shop");
  EXPECT_EQ(calls->load(), 0);
  EXPECT_EQ(greetingOf(*named->container()), "hello");
  EXPECT_EQ(calls->load(), 1);

  configuredApp(kBCNDefaultAppName);
  EXPECT_EQ(calls->load(), 2);
}

TEST(ComponentContainer, OnlyCacheableInstancesAreKept) {
  TemporaryApplication application;
  auto cachedCalls = std::make_shared<std::atomic<int>>(0);
  auto freshCalls = std::make_shared<std::atomic<int>>(0);
  auto library = std::make_shared<FakeLibrary>();
  library->components = {
      testing::countingComponent(testing::greetingProtocol("Cached"), BCNInstantiationTiming::Lazy,
                                 cachedCalls, "c", true),
      testing::countingComponent(testing::greetingProtocol("Fresh"), BCNInstantiationTiming::Lazy, freshCalls,
                                 "f", false),
  };
  BCNApp::registerInternalLibrary(testing::announceLibrary("Library", library), "lib");
  BCNComponentContainer& container = *configuredApp("shop")->container();

  const auto cached = container.instanceForProtocol(testing::greetingProtocol("Cached"));
  EXPECT_EQ(container.instanceForProtocol(testing::greetingProtocol("Cached")), cached);
  EXPECT_NE(container.instanceForProtocol(testing::greetingProtocol("Fresh")),
            container.instanceForProtocol(testing::greetingProtocol("Fresh")));
  EXPECT_EQ(cachedCalls->load(), 1);
  EXPECT_EQ(freshCalls->load(), 2);

  container.removeAllCachedInstances();
  EXPECT_NE(container.instanceForProtocol(testing::greetingProtocol("Cached")), cached);
  EXPECT_EQ(cachedCalls->load(), 2);
}

TEST(ComponentContainer, AnInstanceOfTheWrongKindIsLoggedAndStillReturned) {
  TemporaryApplication application;
  auto library = std::make_shared<FakeLibrary>();
  library->components = {BCNComponent::componentWithProtocol(
      testing::greetingProtocol(),
      [](BCNComponentContainer&, bool&) { return std::make_shared<testing::Stranger>(); })};
  BCNApp::registerInternalLibrary(testing::announceLibrary("Library", library), "lib");
  BCNComponentContainer& container = *configuredApp("shop")->container();
  LogLines log;

  EXPECT_NE(container.instanceForProtocol(testing::greetingProtocol()), nullptr);
  EXPECT_EQ(
      BCNComponentType<testing::GreetingService>::instanceForProtocol(testing::greetingProtocol(), container),
      nullptr);

  const auto wrong = log.withCode("I-COR000030");
  ASSERT_EQ(wrong.size(), 2u);
  EXPECT_EQ(
      wrong[0].text,
      "12.4.0 - [BeaconCore][I-COR000030] An instance conforming to GreetingService was requested, but the "
      "instance provided does not conform to the protocol");
}

TEST(ComponentContainer, AnUnpublishedProtocolYieldsNothingWithoutALog) {
  TemporaryApplication application;
  BCNComponentContainer& container = *configuredApp("shop")->container();
  LogLines log;

  EXPECT_EQ(container.instanceForProtocol(testing::greetingProtocol("Nobody")), nullptr);
  EXPECT_TRUE(log.texts().empty());
}

TEST(ComponentContainer, ACreationBlockMayRequestOtherComponents) {
  TemporaryApplication application;
  auto library = std::make_shared<FakeLibrary>();
  library->components = {
      testing::countingComponent(testing::greetingProtocol("Inner"), BCNInstantiationTiming::Lazy,
                                 std::make_shared<std::atomic<int>>(0), "inner"),
      BCNComponent::componentWithProtocol(
          testing::greetingProtocol("Outer"), BCNInstantiationTiming::AlwaysEager, {},
          [](BCNComponentContainer& container, bool& isCacheable) {
            isCacheable = true;
            auto inner = BCNComponentType<testing::GreetingService>::instanceForProtocol(
                testing::greetingProtocol("Inner"), container);
            return std::make_shared<testing::Greeter>("outer+" + inner->greeting());
          }),
  };
  BCNApp::registerInternalLibrary(testing::announceLibrary("Library", library), "lib");

  BCNComponentContainer& container = *configuredApp("shop")->container();

  auto outer = BCNComponentType<testing::GreetingService>::instanceForProtocol(
      testing::greetingProtocol("Outer"), container);
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->greeting(), "outer+inner");
}

TEST(ComponentContainer, TheSpatialCoreAppDoesNotGetTheIntegrityComponent) {
  TemporaryApplication application;
  BCNApp::registerInternalLibrary(
      testing::announceLibrary("BCNAppIntegrityComponent", libraryGreeting("integrity")), "integrity");

  const auto spatial =
      configuredApp(BCNComponentContainer::kSpatialCoreAppName, BCNComponentContainer::kSpatialCoreSenderID);
  EXPECT_EQ(greetingOf(*spatial->container()), "(none)");

  // The name alone is not enough: the sender ID identifies that app.
  BCNApp::resetApps();
  const auto sameNameOtherSender = configuredApp(BCNComponentContainer::kSpatialCoreAppName, "42");
  EXPECT_EQ(greetingOf(*sameNameOtherSender->container()), "integrity");
}

}  // namespace
}  // namespace beacon
