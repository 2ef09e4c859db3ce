#include "Velloran/data/Signal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velloran {
namespace {

TEST(SignalTest, HandlersHearEmitsInConnectionOrderUntilTheirSubscriptionEnds) {
  Signal<int> signal;
  std::vector<std::string> heard;
  Subscription first = signal.connect([&](int value) { heard.push_back("first " + std::to_string(value)); });
  {
    Subscription second =
        signal.connect([&](int value) { heard.push_back("second " + std::to_string(value)); });
    signal.emit(1);
  }
  signal.emit(2);
  Subscription moved = std::move(first);
  signal.emit(3);
  moved = signal.connect([&](int value) { heard.push_back("third " + std::to_string(value)); });
  signal.emit(4);

  EXPECT_EQ(heard, (std::vector<std::string>{"first 1", "second 1", "first 2", "first 3", "third 4"}));
}

TEST(SignalTest, HandlersMayConnectAndDisconnectWhileAnEmitWalksTheList) {
  Signal<> signal;
  std::vector<std::string> heard;
  Subscription second;
  Subscription late;
  Subscription first = signal.connect([&] {
    heard.push_back("first");
    second.reset();  // before its turn in this very emit
    if (!late.isConnected()) late = signal.connect([&] { heard.push_back("late"); });
  });
  second = signal.connect([&] { heard.push_back("second"); });

  signal.emit();
  EXPECT_EQ(heard, (std::vector<std::string>{"first"}));
  signal.emit();
  EXPECT_EQ(heard, (std::vector<std::string>{"first", "first", "late"}));
}

TEST(SignalTest, SubscriptionMayOutliveItsSignal) {
  Subscription subscription;
  {
    Signal<> signal;
    subscription = signal.connect([] {});
    EXPECT_TRUE(subscription.isConnected());
  }
  EXPECT_FALSE(subscription.isConnected());
  subscription.reset();
}

}  // namespace
}  // namespace velloran
