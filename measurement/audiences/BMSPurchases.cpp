#include "measurement/audiences/BMSPurchases.h"

#include <cstdio>

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSEngineServices.h"

namespace beacon {
namespace {

constexpr std::int64_t kTransactionRefused = 21001;

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

BMSInAppPurchaseTransactionReporter& BMSInAppPurchaseTransactionReporter::sharedInstance() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static BMSInAppPurchaseTransactionReporter& reporter = *new BMSInAppPurchaseTransactionReporter;
  return reporter;
}

void BMSInAppPurchaseTransactionReporter::reportTransactionWithProductID(
    const std::string& productID, std::int64_t paymentQuantity, const std::string& transactionIdentifier,
    const std::string& originalTransactionIdentifier, std::optional<double> transactionDate,
    const platform::Bytes&, const std::string&, const std::string&) {
  report({BMSPaymentTransaction::State::Purchased, productID, paymentQuantity, transactionIdentifier,
          originalTransactionIdentifier, transactionDate});
}

void BMSInAppPurchaseTransactionReporter::paymentQueueUpdatedFilteredTransactions(
    const std::vector<BMSPaymentTransaction>& transactions) {
  for (const auto& transaction : transactions) {
    if (transaction.state == BMSPaymentTransaction::State::Purchased ||
        transaction.state == BMSPaymentTransaction::State::Restored)
      report(transaction);
  }
}

void BMSInAppPurchaseTransactionReporter::report(const BMSPaymentTransaction& transaction) {
  if (transaction.productID.empty()) {
    BMSLog(2, kTransactionRefused, "Purchase without a product ID is not reported");
    return;
  }
  BMSEngineServices::internalEventLogger()->logInternalEventWithOrigin("auto", "_iap",
                                                                       eventParameters(transaction));
}

std::string BMSInAppPurchaseTransactionReporter::transactionFingerprint(
    const BMSPaymentTransaction& transaction) {
  if (transaction.transactionID.empty()) return {};
  // Separated so that neighbouring fields do not run together.
  return BMSSHA256String(transaction.transactionID + "|" + transaction.originalTransactionID + "|" +
                         transaction.productID + "|" +
                         (transaction.date ? decimal(*transaction.date) : std::string()));
}

platform::Dictionary BMSInAppPurchaseTransactionReporter::eventParameters(
    const BMSPaymentTransaction& transaction) {
  platform::Dictionary parameters{{"product_id", transaction.productID}, {"quantity", transaction.quantity}};
  if (!transaction.transactionID.empty()) parameters["transaction_id"] = transaction.transactionID;
  if (!transaction.originalTransactionID.empty())
    parameters["original_transaction_id"] = transaction.originalTransactionID;
  return parameters;
}

bool BMSIsReceiptValidated() {
  return false;
}

bool BMSIsAppVersionSameAsOriginalVersion() {
  return true;
}

}  // namespace beacon
