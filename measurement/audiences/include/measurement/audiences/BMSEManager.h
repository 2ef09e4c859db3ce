#pragma once
// The experiment manager the engine and its downloaded configuration are given. This build runs no
// experiments: there are no experiment IDs to report and no snapshot waits to be activated.
// Shared by the whole process; safe from any thread (it holds no state).

#include <cstdint>
#include <memory>
#include <vector>

#include "measurement/storage/BMSExperimentSnapshots.h"

namespace beacon {

class BMSEManager final : public BMSExperimentSnapshots {
 public:
  static std::shared_ptr<BMSEManager> sharedInstance();

  // The IDs of the experiments the device takes part in, for bundle metadata.
  std::vector<std::int64_t> experimentIDs() const override { return {}; }
  // Makes a downloaded experiment snapshot current; with none downloaded there is nothing to do.
  void activateNewSnapshot() override {}

 private:
  BMSEManager() = default;
};

}  // namespace beacon
