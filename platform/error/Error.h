#pragma once
// Expected failures are values: an Error names its domain and code, carries a human-readable
// description and optional extra information, and may wrap the failure that caused it.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/value/Value.h"

namespace platform {

// userInfo key holding the system's errno value where one caused the failure.
inline constexpr std::string_view kErrnoKey = "errno";

struct Error {
  std::string domain;
  std::int64_t code = 0;
  std::string description;
  Dictionary userInfo;
  std::shared_ptr<const Error> underlying;

  Error() = default;
  Error(std::string domain, std::int64_t code, std::string description = {}, Dictionary userInfo = {})
      : domain(std::move(domain)),
        code(code),
        description(std::move(description)),
        userInfo(std::move(userInfo)) {}

  Error& causedBy(Error cause) {
    underlying = std::make_shared<const Error>(std::move(cause));
    return *this;
  }

  // "domain code: description", with the cause appended; for logs and test messages.
  std::string debugDescription() const;

  // Same domain and code: how callers recognise a failure.
  bool is(std::string_view otherDomain, std::int64_t otherCode) const {
    return domain == otherDomain && code == otherCode;
  }

  // The system's errno value this failure (not its causes) carries under kErrnoKey.
  std::optional<std::int64_t> systemErrorNumber() const;
  // The same of the failure or the first of its causes that carries one.
  std::optional<std::int64_t> systemErrorNumberInChain() const;
};

// Thrown only for programmer errors (a broken precondition), never for expected failures.
// `name` classifies the misuse, `reason` says what was wrong.
class ProgrammerError : public std::logic_error {
 public:
  ProgrammerError(std::string name, const std::string& reason)
      : std::logic_error(reason), name_(std::move(name)) {}
  const std::string& name() const { return name_; }
  std::string reason() const { return what(); }

 private:
  std::string name_;
};

}  // namespace platform
