#pragma once
// Purchases the application reports, and what the engine knows about the store receipt.
//
// This platform has no payment queue and no store receipt: purchases arrive only when the
// application hands one in, and the receipt answers are fixed (not validated; the installed version
// counts as the originally installed one, so a fresh install reports itself as such).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/value/Value.h"

namespace beacon {

// One transaction as a payment queue reports it.
struct BMSPaymentTransaction {
  enum class State { Purchasing, Purchased, Failed, Restored, Deferred };
  State state = State::Purchasing;
  std::string productID;
  std::int64_t quantity = 1;
  std::string transactionID;
  std::string originalTransactionID;
  std::optional<double> date;  // seconds since 1970
};

// Turns reported transactions into the engine's internal "_iap" events (origin "auto"), logged
// through the installed internal-event logger. Safe from any thread: it keeps no state.
class BMSInAppPurchaseTransactionReporter {
 public:
  static BMSInAppPurchaseTransactionReporter& sharedInstance();

  // One transaction the application hands in. A transaction without a product ID is refused
  // (logged). Device-verification data is not sent.
  void reportTransactionWithProductID(const std::string& productID, std::int64_t paymentQuantity,
                                      const std::string& transactionIdentifier,
                                      const std::string& originalTransactionIdentifier,
                                      std::optional<double> transactionDate,
                                      const platform::Bytes& deviceVerification,
                                      const std::string& deviceVerificationUUID,
                                      const std::string& deviceVerificationNonce);
  // The transactions the engine's purchase filter let through; only completed ones (purchased or
  // restored) are reported.
  void paymentQueueUpdatedFilteredTransactions(const std::vector<BMSPaymentTransaction>& transactions);

  // Identifies a transaction for duplicate checks: the SHA-256 (hex) of transaction ID, original
  // transaction ID, product ID and date; empty when the transaction has no ID.
  static std::string transactionFingerprint(const BMSPaymentTransaction& transaction);

  // The "_iap" parameters: "product_id", "quantity", and "transaction_id" /
  // "original_transaction_id" when known.
  static platform::Dictionary eventParameters(const BMSPaymentTransaction& transaction);

 private:
  BMSInAppPurchaseTransactionReporter() = default;
  void report(const BMSPaymentTransaction& transaction);
};

// Whether the store receipt was validated; never on this platform.
bool BMSIsReceiptValidated();
// Whether the installed version is the one first installed; with no receipt to say otherwise, yes.
bool BMSIsAppVersionSameAsOriginalVersion();

}  // namespace beacon
