#pragma once
// The experiment manager the engine and its downloaded configuration are given. This build runs no
// experiments: there are no experiment IDs to report and no snapshot waits to be activated.
// Shared by the whole process; safe from any thread (it holds no state).

#include <cstdint>
#include <vector>

namespace beacon {

class BMSEManager {
 public:
  static BMSEManager& sharedInstance();

  // The IDs of the experiments the device takes part in, for bundle metadata.
  std::vector<std::int64_t> experimentIDs() const { return {}; }
  // Makes a downloaded experiment snapshot current; with none downloaded there is nothing to do.
  void activateNewSnapshot() {}

 private:
  BMSEManager() = default;
};

}  // namespace beacon
