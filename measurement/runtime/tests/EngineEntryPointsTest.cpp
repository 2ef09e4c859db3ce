// The engine's entry points on bad input, and the purchase filter.

#include "StartedAnalytics.h"

namespace beacon {
namespace {

using testing::StartedAnalytics;

class EngineEntryPointsTest : public StartedAnalytics {
 protected:
  EngineEntryPointsTest() { start(); }

  static BMSPaymentTransaction purchase(std::string id, BMSPaymentTransaction::State state) {
    BMSPaymentTransaction transaction;
    transaction.state = state;
    transaction.productID = "monthly";
    transaction.transactionID = std::move(id);
    transaction.date = 1700000000;
    return transaction;
  }
};

TEST_F(EngineEntryPointsTest, MissingArgumentsAreLoggedWithTheirCodes) {
  engine()->setUserAttribute(std::nullopt);
  engine()->removeUserAttribute(std::nullopt);
  engine()->userPropertiesIncludingInternal(true, nullptr);
  engine()->maxUserPropertiesForOrigin("", [](std::int64_t) {});
  engine()->maxUserPropertiesForOrigin("app", nullptr);
  world.dispatch().drain();
  for (std::int64_t code : {23079, 23074, 23090, 23093, 23094}) EXPECT_TRUE(logged(code)) << code;
}

TEST_F(EngineEntryPointsTest, AnEventTheModelRefusesIsLoggedAsNil) {
  engine()->logEventWithOrigin("app", true, "_not_public", {}, 1700000000, true, false, false, std::nullopt,
                               {});
  world.dispatch().drain();
  EXPECT_TRUE(logged(23219));
  EXPECT_TRUE(heard.empty());
}

TEST_F(EngineEntryPointsTest, OnlyNewPurchasedTransactionsPassTheFilterInTheirOrder) {
  std::vector<std::string> kept;
  const auto filter = [&](std::vector<BMSPaymentTransaction> transactions) {
    engine()->filterPurchaseTransactions(std::move(transactions),
                                         [&](std::vector<BMSPaymentTransaction> passed) {
                                           for (const BMSPaymentTransaction& transaction : passed)
                                             kept.push_back(transaction.transactionID);
                                         });
    world.dispatch().drain();
  };
  filter({purchase("t1", BMSPaymentTransaction::State::Purchased),
          purchase("t2", BMSPaymentTransaction::State::Restored),
          purchase("t3", BMSPaymentTransaction::State::Purchased)});
  filter({purchase("t1", BMSPaymentTransaction::State::Purchased),
          purchase("", BMSPaymentTransaction::State::Purchased)});
  EXPECT_EQ(kept, (std::vector<std::string>{"t1", "t3", ""}));
  EXPECT_TRUE(logged(23141));
  EXPECT_TRUE(logged(23139));
}

}  // namespace
}  // namespace beacon
