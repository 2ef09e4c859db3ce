#pragma once
// Heartbeat bytes kept under one key of a preferences store. An alternative to FileStorage that the
// system never selects (HeartbeatStorage makes its byte stores with FileStorage::storageForID); kept
// for stores that want their heartbeats among their preferences.
//
// read: the bytes under the key; readError when nothing (or no bytes) is stored there. write: stores
// the bytes under the key, or removes the key for nullopt; it never fails (the preferences store
// keeps a failed disk write pending and logs it). Used from its HeartbeatStorage's queue only.

#include <memory>
#include <string>

#include "sdk-core/heartbeat/Storage.h"
#include "sdk-utilities/userdefaults/CVUUserDefaults.h"

namespace beacon {

class UserDefaultsStorage final : public Storage {
 public:
  UserDefaultsStorage(std::shared_ptr<CVUUserDefaults> defaults, std::string key);

  platform::Result<platform::Bytes> read() override;
  platform::Result<void> write(const std::optional<platform::Bytes>& data) override;

 private:
  std::shared_ptr<CVUUserDefaults> defaults_;
  std::string key_;
};

}  // namespace beacon
