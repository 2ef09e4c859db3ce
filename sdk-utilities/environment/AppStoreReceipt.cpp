#include "sdk-utilities/environment/AppStoreReceipt.h"

namespace beacon {

std::filesystem::path appStoreReceiptURL(const platform::Bundle& bundle) {
  const std::filesystem::path folder = bundle.path() / "StoreReceipt";
  std::filesystem::path sandbox = folder / "sandboxReceipt";
  std::error_code ignored;
  if (std::filesystem::is_regular_file(sandbox, ignored)) return sandbox;
  return folder / "receipt";
}

}  // namespace beacon
