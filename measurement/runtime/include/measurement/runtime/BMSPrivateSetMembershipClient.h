#pragma once
// What the engine needs of the optional on-device conversion component: a client that asks whether
// one user identifier (e-mail address or phone number, plain or hashed) belongs to a conversion data
// set, through a GET request it builds and an answer it reads. The component is a separate library;
// when it is linked in, the composition root announces the class "BMSPrivateSetMembershipClient" in
// the class directory with a BMSPrivateSetMembershipClientClass facet. Without it, on-device
// conversion measurement only logs.
//
// Threads: the engine makes and uses clients on its worker queue only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace beacon {

inline constexpr const char* kBMSPrivateSetMembershipClientClassName = "BMSPrivateSetMembershipClient";

// What the client was made for; decides the counter property and the query key of the request.
enum class BMSPSMInputType : std::int64_t {
  EmailAddress = 1,
  PhoneNumber = 2,
  HashedEmailAddress = 3,
  HashedPhoneNumber = 4
};

class BMSPrivateSetMembershipClient {
 public:
  virtual ~BMSPrivateSetMembershipClient() = default;
  // Any value but 2, 3 and 4 counts as an e-mail address.
  virtual std::int64_t inputType() const = 0;
  // The request for the given attempt (0 for the first); nothing when no request can be built.
  virtual std::optional<std::string> PSMRequestURLWithRetryCount(std::int32_t retryCount) = 0;
  // The matched value in a response body; empty or nothing when the user is not in the data set.
  virtual std::optional<std::string> parsedPSMValueFromResponse(const platform::Bytes& body) = 0;
  // The key that marks requests as debug requests; nothing when the client has none.
  virtual std::optional<std::string> debugKey() const { return std::nullopt; }
};

// The initialisers a client class may offer. The ones "WithPrefixBitLength" also take the length of
// the hash prefix the request reveals.
enum class BMSPSMInitializer {
  EmailAddress,
  EmailAddressWithPrefixBitLength,
  PhoneNumber,
  PhoneNumberWithPrefixBitLength,
  HashedEmailAddressWithPrefixBitLength,
  HashedPhoneNumberWithPrefixBitLength,
};

// The facet of the class: which initialisers its instances answer, and making a client with one.
class BMSPrivateSetMembershipClientClass {
 public:
  virtual ~BMSPrivateSetMembershipClientClass() = default;
  virtual bool respondsToInitializer(BMSPSMInitializer initializer) const = 0;
  // Only asked for initialisers the class answers; `prefixBitLength` means nothing to those without
  // it. Nothing when the client cannot be made for that identifier.
  virtual std::shared_ptr<BMSPrivateSetMembershipClient> makeClient(BMSPSMInitializer initializer,
                                                                    const std::string& identifier,
                                                                    const std::string& appID,
                                                                    std::int64_t prefixBitLength) = 0;
};

}  // namespace beacon
