#include "platform/notify/NotificationCenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"

namespace platform {
namespace {

constexpr char kPing[] = "PingNotification";
constexpr char kPong[] = "PongNotification";

// Two senders; only their addresses matter.
const int senderA = 1;
const int senderB = 2;

// Records what each observer heard, as "<observer>:<name>".
struct Journal {
  NotificationCenter::Handler recorder(std::string observer) {
    return [this, observer](const Notification& n) { heard.push_back(observer + ":" + n.name); };
  }
  std::vector<std::string> heard;
};

using Heard = std::vector<std::string>;

TEST(NotificationCenter, WithoutAQueueTheObserverHearsThePostInsidePost) {
  NotificationCenter center;
  std::optional<Notification> received;
  auto token = center.addObserver(kPing, nullptr, nullptr, [&](const Notification& n) { received = n; });

  const Dictionary userInfo{{"BCNAppNameKey", Value("__BCNAPP_DEFAULT")}};
  center.post(kPing, &senderA, userInfo);
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->name, kPing);
  EXPECT_EQ(received->object, &senderA);
  EXPECT_EQ(received->userInfo, userInfo);
  center.post(kPing);
  EXPECT_EQ(received->object, nullptr);
  EXPECT_EQ(received->userInfo, std::nullopt) << "no user info is not an empty dictionary";
}

TEST(NotificationCenter, ObserversHearOnlyTheirNameAndSenderInRegistrationOrder) {
  NotificationCenter center;
  Journal journal;
  auto any = center.addObserver(kPing, nullptr, nullptr, journal.recorder("any"));
  auto onlyA = center.addObserver(kPing, &senderA, nullptr, journal.recorder("onlyA"));
  auto pong = center.addObserver(kPong, nullptr, nullptr, journal.recorder("pong"));
  auto anyAgain = center.addObserver(kPing, nullptr, nullptr, journal.recorder("anyAgain"));

  center.post(kPing, &senderA);
  EXPECT_EQ(journal.heard,
            (Heard{"any:PingNotification", "onlyA:PingNotification", "anyAgain:PingNotification"}));
  journal.heard.clear();
  center.post(kPing, &senderB);
  center.post(kPing, nullptr);
  EXPECT_EQ(journal.heard, (Heard{"any:PingNotification", "anyAgain:PingNotification", "any:PingNotification",
                                  "anyAgain:PingNotification"}))
      << "a sender filter rejects other senders and sender-less posts";
  journal.heard.clear();
  center.post("pingnotification");
  EXPECT_TRUE(journal.heard.empty()) << "names are compared exactly";
}

TEST(ObserverToken, TheObservationLastsExactlyAsLongAsItsToken) {
  NotificationCenter center;
  Journal journal;
  ObserverToken held;
  {
    auto scoped = center.addObserver(kPing, nullptr, nullptr, journal.recorder("first"));
    center.post(kPing);
    held = std::move(scoped);
  }
  center.post(kPing);  // the move kept the observation
  held = center.addObserver(kPing, nullptr, nullptr, journal.recorder("second"));  // ends "first"
  center.post(kPing);
  held.remove();
  held.remove();
  EXPECT_FALSE(held.isActive());
  center.post(kPing);
  EXPECT_EQ(journal.heard,
            (Heard{"first:PingNotification", "first:PingNotification", "second:PingNotification"}));
}

TEST(ObserverToken, ATokenMayOutliveItsCentre) {
  ObserverToken token;
  {
    NotificationCenter center;
    token = center.addObserver(kPing, nullptr, nullptr, [](const Notification&) {});
  }
  token.remove();
  EXPECT_FALSE(token.isActive());
}

TEST(NotificationCenterDelivery, ChangesMadeDuringDeliveryApplyFromTheNextCallOn) {
  NotificationCenter center;
  Journal journal;
  ObserverToken second;
  ObserverToken late;
  auto first = center.addObserver(kPing, nullptr, nullptr, [&](const Notification& n) {
    journal.heard.push_back("first:" + n.name);
    second.remove();
    if (!late.isActive()) late = center.addObserver(kPing, nullptr, nullptr, journal.recorder("late"));
  });
  second = center.addObserver(kPing, nullptr, nullptr, journal.recorder("second"));
  center.post(kPing);
  EXPECT_EQ(journal.heard, (Heard{"first:PingNotification"})) << "removed: not called; added: not yet";
  center.post(kPing);
  EXPECT_EQ(journal.heard,
            (Heard{"first:PingNotification", "first:PingNotification", "late:PingNotification"}));
}

TEST(NotificationCenterDelivery, AnObserverMayRemoveItselfAndPostFromItsOwnCall) {
  NotificationCenter center;
  Journal journal;
  auto pong = center.addObserver(kPong, nullptr, nullptr, journal.recorder("pong"));
  ObserverToken self;
  self = center.addObserver(kPing, nullptr, nullptr,
                            [&, marker = std::string("still here")](const Notification&) {
                              self.remove();  // destroys nothing the running call still needs
                              journal.heard.push_back(marker);
                              center.post(kPong);
                            });
  center.post(kPing);
  center.post(kPing);
  EXPECT_EQ(journal.heard, (Heard{"still here", "pong:PongNotification"}));
}

TEST(NotificationCenterQueues, AQueuedObserverRunsOnItsQueueInPostOrder) {
  DeterministicDispatch dispatch;
  NotificationCenter center;
  QueueRef queue = makeSerialQueue("notify.tests.delivery");
  std::vector<std::int64_t> order;
  bool alwaysOnQueue = true;
  auto token = center.addObserver(kPing, nullptr, queue, [&](const Notification& n) {
    alwaysOnQueue = alwaysOnQueue && queue->isCurrent();
    order.push_back(n.userInfo->at("n").integerValue());
  });

  center.post(kPing, nullptr, Dictionary{{"n", Value(1)}});
  center.post(kPing, nullptr, Dictionary{{"n", Value(2)}});
  EXPECT_TRUE(order.empty()) << "queued delivery never happens inside post";
  dispatch.drain();
  EXPECT_EQ(order, (std::vector<std::int64_t>{1, 2}));
  EXPECT_TRUE(alwaysOnQueue);
}

TEST(NotificationCenterQueues, RemovalCancelsDeliveriesStillWaitingOnTheQueue) {
  DeterministicDispatch dispatch;
  NotificationCenter center;
  Journal journal;
  auto queued =
      center.addObserver(kPing, nullptr, makeSerialQueue("notify.tests.removal"), journal.recorder("queued"));
  auto main = center.addObserver(kPing, nullptr, mainQueue(), journal.recorder("main"));
  center.post(kPing);
  queued.remove();
  dispatch.drain();
  EXPECT_EQ(journal.heard, (Heard{"main:PingNotification"}));
}

}  // namespace
}  // namespace platform
