#include "measurement/engine/BMSError.h"

#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

const std::string& BMSErrorDomain() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const std::string& domain = *new std::string(vendorLabel("cnp.measurement.ErrorDomain"));
  return domain;
}

platform::Error bms_errorWithCode(std::int64_t code, std::string_view description,
                                  std::string_view monitorContext) {
  platform::Dictionary userInfo;
  if (!monitorContext.empty())
    userInfo.emplace(std::string(kBMSMonitorContextKey), std::string(monitorContext));
  return platform::Error(BMSErrorDomain(), code, std::string(description), std::move(userInfo));
}

namespace {

constexpr std::string_view kErrorDomainKey = "error.domain";
constexpr std::string_view kErrorCodeKey = "error.code";
constexpr std::string_view kErrorDescriptionKey = "error.description";
constexpr std::string_view kExceptionNameKey = "exception.name";
constexpr std::string_view kExceptionReasonKey = "exception.reason";

std::string textOf(const platform::Value* value) {
  const std::string* text = value ? value->asString() : nullptr;
  return text ? *text : std::string();
}

}  // namespace

platform::Value BMSContextFromError(const platform::Error& error) {
  platform::Dictionary context{{std::string(kErrorDomainKey), error.domain},
                               {std::string(kErrorCodeKey), static_cast<long long>(error.code)},
                               {std::string(kErrorDescriptionKey), error.description}};
  if (auto found = error.userInfo.find(kBMSMonitorContextKey); found != error.userInfo.end()) {
    context.emplace(std::string(kBMSMonitorContextKey), found->second);
  }
  return context;
}

platform::Value BMSContextFromError(const std::optional<platform::Error>& error) {
  return error ? BMSContextFromError(*error) : platform::Value();
}

std::optional<platform::Error> BMSErrorFromContext(const platform::Value& context) {
  const platform::Value* domain = context.find(kErrorDomainKey);
  if (!domain || !domain->isString()) return std::nullopt;
  const platform::Value* code = context.find(kErrorCodeKey);
  platform::Dictionary userInfo;
  if (const platform::Value* monitorContext = context.find(kBMSMonitorContextKey)) {
    userInfo.emplace(std::string(kBMSMonitorContextKey), *monitorContext);
  }
  return platform::Error(*domain->asString(), code ? code->integerValue() : 0,
                         textOf(context.find(kErrorDescriptionKey)), std::move(userInfo));
}

platform::Value BMSContextFromException(std::string_view name, std::string_view reason) {
  return platform::Dictionary{{std::string(kExceptionNameKey), std::string(name)},
                              {std::string(kExceptionReasonKey), std::string(reason)}};
}

bool BMSIsExceptionContext(const platform::Value& context) {
  const platform::Value* name = context.find(kExceptionNameKey);
  return name && name->isString();
}

std::string BMSMonitorContextFromErrors(const std::vector<platform::Value>& contexts) {
  std::string joined;
  for (const platform::Value& context : contexts) {
    const std::optional<platform::Error> error = BMSErrorFromContext(context);
    if (!error || error->domain != BMSErrorDomain()) continue;
    const std::string text = textOf(context.find(kBMSMonitorContextKey));
    if (text.empty()) continue;
    if (!joined.empty()) joined += ",";
    joined += text;
  }
  return joined;
}

void BMSSetError(platform::Error* error, std::int64_t code, std::string_view description) {
  if (error) *error = bms_errorWithCode(code, description);
}

void BMSSetErrorWithContext(platform::Error* error, std::int64_t code, std::string_view description,
                            std::string_view context) {
  if (error) *error = bms_errorWithCode(code, description, context);
}

bool BMSCheckOrSetErrorBool(bool condition, platform::Error* error, std::int64_t code,
                            std::string_view description) {
  if (!condition) BMSSetError(error, code, description);
  return condition;
}

bool BMSCheckOrSetErrorPointer(const void* pointer, platform::Error* error, std::int64_t code,
                               std::string_view description) {
  return BMSCheckOrSetErrorBool(pointer != nullptr, error, code, description);
}

bool BMSCheckOrSetErrorValue(std::int64_t value, platform::Error* error, std::int64_t code,
                             std::string_view description) {
  return BMSCheckOrSetErrorBool(value != 0, error, code, description);
}

}  // namespace beacon
