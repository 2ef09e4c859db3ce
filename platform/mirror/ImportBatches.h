#pragma once
// The write batches (WriteBatch.h) an import saves its chunks into: a batch is opened before a chunk
// when none is open, and committed after kImportBatchChunks chunks, as soon as another thread waits to
// save, and when the import ends. What the chunks of a batch did counts once the batch is committed.
//
// Used on the mirror's queue, within one of its blocks: a batch belongs to the thread that opened it.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/error/Result.h"
#include "platform/pstore/PersistentStoreCoordinator.h"
#include "platform/pstore/WriteBatch.h"

namespace platform {

// How many of the skipped lines' reasons are kept for the report: a damaged journal may skip
// millions of lines, and all of them are counted.
inline constexpr std::size_t kReportedUnreadable = 10;

// Enough chunks that the commits of a large backlog cost little beside applying it, few enough that
// other machines' changes show up here every few seconds while it is worked through.
inline constexpr std::size_t kImportBatchChunks = 16;

class ImportBatches {
 public:
  explicit ImportBatches(PersistentStoreCoordinator& coordinator) : coordinator_(coordinator) {}

  // Opens a batch unless one is open.
  Result<void> open();
  // Notes a chunk saved into the open batch, with the lines it skipped.
  void applied(const std::vector<std::string>& unreadable);
  // Commits the open batch when it holds kImportBatchChunks chunks or another thread waits to save.
  Result<void> commitWhenDue();
  // Commits the open batch, if any; a batch that fails to commit is rolled back.
  Result<void> commit();

  // Whether a committed batch held a chunk; how many lines those chunks skipped, and why the first
  // kReportedUnreadable of them were.
  bool appliedAny() const { return appliedAny_; }
  std::size_t unreadableCount() const { return unreadableCount_; }
  const std::vector<std::string>& unreadable() const { return unreadable_; }

 private:
  PersistentStoreCoordinator& coordinator_;
  std::unique_ptr<WriteBatch> batch_;
  std::size_t chunks_ = 0;
  std::size_t batchUnreadableCount_ = 0;
  std::vector<std::string> batchUnreadable_;
  bool appliedAny_ = false;
  std::size_t unreadableCount_ = 0;
  std::vector<std::string> unreadable_;
};

}  // namespace platform
