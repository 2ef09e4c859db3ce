#include "measurement/engine/BMSScheduler.h"

#include <typeinfo>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "platform/error/Error.h"
#include "platform/text/Format.h"

namespace beacon {
namespace {

// Runs `block`; an exception it throws is logged with `code` and the block ID. Answers whether the
// block returned normally.
bool runCatching(const std::function<void()>& block, std::int64_t code, const char* message,
                 std::string_view blockID) {
  try {
    block();
    return true;
  } catch (const std::exception& exception) {
    BMSLog(1, code, platform::format(message, blockID),
           {BMSContextFromException(typeid(exception).name(), exception.what())});
  } catch (...) {
    BMSLog(1, code, platform::format(message, blockID), {BMSContextFromException("unknown", "")});
  }
  return false;
}

}  // namespace

BMSScheduler::BMSScheduler(std::string workerQueueLabel)
    : workerQueue_(platform::makeSerialQueue(
          std::move(workerQueueLabel), platform::globalQueue(platform::QualityOfService::Background))) {}

void BMSScheduler::scheduleOnWorkerQueueBlockID(std::string_view blockID, std::function<void()> block) {
  if (!block) {
    BMSLog(1, 30005,
           platform::format("Nil block dispatched asynchronously on worker queue. Block ID=%@.", blockID));
    return;
  }
  workerQueue_->async([block = std::move(block), id = std::string(blockID)] {
    runCatching(block, 30000, "Exception on worker queue. Block ID=%@. Exception", id);
  });
}

void BMSScheduler::dispatchSyncOnWorkerQueueBlockID(std::string_view blockID,
                                                    const std::function<void()>& block) {
  if (!block) {
    BMSLog(1, 30002,
           platform::format("Nil block dispatched synchronously on worker queue. Block ID=%@.", blockID));
    return;
  }
  bool finished = false;
  try {
    workerQueue_->sync([&] {
      finished = runCatching(block, 30003,
                             "Exception on worker queue when processing sync block. Block ID=%@. Exception",
                             blockID);
    });
  } catch (const platform::ProgrammerError&) {
    // The queue refused a hop onto itself: the caller is already on the worker queue.
  }
  if (!finished) BMSLog(4, 30004, platform::format("Synchronous task failed. Block ID=%@", blockID));
}

bool BMSScheduler::checkOnBackgroundThreadWithMethodName(std::string_view methodName) {
  if (!platform::isMainThread()) return true;
  BMSLog(1, 30001,
         platform::format("Method %@ should execute on background thread",
                          methodName.empty() ? std::string_view("<empty method name>") : methodName));
  return false;
}

}  // namespace beacon
