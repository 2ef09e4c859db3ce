// Reported purchases become "_iap" events; only completed queue transactions count; fingerprints.

#include "measurement/audiences/BMSPurchases.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

class PurchasesTest : public ::testing::Test {
 protected:
  testing::ScopedEngineServices services;
  std::vector<testing::LoggedEvent>& events = services.events->events;
  BMSInAppPurchaseTransactionReporter& reporter = BMSInAppPurchaseTransactionReporter::sharedInstance();
};

TEST_F(PurchasesTest, AHandedInTransactionIsAnAutomaticPurchaseEvent) {
  reporter.reportTransactionWithProductID("gems_100", 2, "T1", "T0", 1'700'000'000.0, {1, 2}, "uuid",
                                          "nonce");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].origin, "auto");
  EXPECT_EQ(events[0].name, "_iap");
  EXPECT_EQ(events[0].parameters, (platform::Dictionary{{"product_id", "gems_100"},
                                                        {"quantity", 2},
                                                        {"transaction_id", "T1"},
                                                        {"original_transaction_id", "T0"}}));

  reporter.reportTransactionWithProductID("", 1, "T2", "", std::nullopt, {}, "", "");
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(PurchasesTest, OnlyCompletedQueueTransactionsAreReported) {
  using State = BMSPaymentTransaction::State;
  std::vector<BMSPaymentTransaction> transactions;
  for (State state : {State::Purchasing, State::Purchased, State::Failed, State::Restored, State::Deferred})
    transactions.push_back({state, "p" + std::to_string(static_cast<int>(state)), 1, "", "", std::nullopt});
  reporter.paymentQueueUpdatedFilteredTransactions(transactions);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].parameters.at("product_id"), platform::Value("p1"));
  EXPECT_EQ(events[1].parameters.at("product_id"), platform::Value("p3"));
  EXPECT_FALSE(events[0].parameters.contains("transaction_id"));
}

TEST_F(PurchasesTest, FingerprintsNeedATransactionIDAndTellTransactionsApart) {
  const BMSPaymentTransaction purchase{BMSPaymentTransaction::State::Purchased, "gems", 1, "T1", "T0", 5.0};
  EXPECT_EQ(BMSInAppPurchaseTransactionReporter::transactionFingerprint(purchase).size(), 64u);
  EXPECT_EQ(BMSInAppPurchaseTransactionReporter::transactionFingerprint(purchase),
            BMSInAppPurchaseTransactionReporter::transactionFingerprint(purchase));

  auto later = purchase;
  later.date = 6.0;
  EXPECT_NE(BMSInAppPurchaseTransactionReporter::transactionFingerprint(later),
            BMSInAppPurchaseTransactionReporter::transactionFingerprint(purchase));
  auto shifted = purchase;
  shifted.transactionID = "T";
  shifted.originalTransactionID = "1T0";
  EXPECT_NE(BMSInAppPurchaseTransactionReporter::transactionFingerprint(shifted),
            BMSInAppPurchaseTransactionReporter::transactionFingerprint(purchase));

  auto anonymous = purchase;
  anonymous.transactionID.clear();
  EXPECT_EQ(BMSInAppPurchaseTransactionReporter::transactionFingerprint(anonymous), "");
}

TEST_F(PurchasesTest, WithoutAReceiptNothingIsValidatedAndTheVersionIsTheOriginal) {
  EXPECT_FALSE(BMSIsReceiptValidated());
  EXPECT_TRUE(BMSIsAppVersionSameAsOriginalVersion());
}

}  // namespace
}  // namespace beacon
