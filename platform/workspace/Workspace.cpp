#include "platform/workspace/Workspace.h"

#include <mutex>

#include "platform/workspace/XdgOpenWorkspace.h"

namespace platform {
namespace {

std::mutex sharedMutex;
std::shared_ptr<Workspace> installed;

}  // namespace

std::shared_ptr<Workspace> Workspace::shared() {
  std::lock_guard lock(sharedMutex);
  if (!installed) installed = std::make_shared<XdgOpenWorkspace>();
  return installed;
}

void Workspace::setShared(std::shared_ptr<Workspace> workspace) {
  std::lock_guard lock(sharedMutex);
  installed = std::move(workspace);
}

}  // namespace platform
