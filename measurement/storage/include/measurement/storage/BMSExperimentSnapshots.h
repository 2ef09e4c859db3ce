#pragma once
// What the downloaded configuration needs of the experiment manager it is given at creation: the
// experiments the device takes part in, and activating a snapshot that was downloaded but is not in
// force yet. The experiment manager implements it; the storage layer knows it only through this.

#include <cstdint>
#include <vector>

namespace beacon {

class BMSExperimentSnapshots {
 public:
  virtual ~BMSExperimentSnapshots() = default;
  // The IDs of the experiments of the snapshot in force.
  virtual std::vector<std::int64_t> experimentIDs() const = 0;
  // Puts a waiting snapshot in force; nothing when none waits.
  virtual void activateNewSnapshot() = 0;
};

}  // namespace beacon
