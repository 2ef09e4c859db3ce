#pragma once
// Where the store receipt of this copy of the program lives. A store installation puts the receipt
// in the "StoreReceipt" folder of the main bundle; one made from the store's test environment names
// the file "sandboxReceipt" instead of "receipt". As the store does, the location is answered even
// when no receipt has been placed (development builds have none).
//
// Reads the file system at every call; safe from any thread.

#include <filesystem>

#include "platform/bundle/Bundle.h"

namespace beacon {

// "<bundle>/StoreReceipt/sandboxReceipt" when that file exists, else "<bundle>/StoreReceipt/receipt".
std::filesystem::path appStoreReceiptURL(const platform::Bundle& bundle);

}  // namespace beacon
