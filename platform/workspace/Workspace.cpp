#include "platform/workspace/Workspace.h"

#include <mutex>

#include "platform/workspace/XdgOpenWorkspace.h"

namespace platform {
namespace {

std::mutex sharedWorkspaceMutex;
std::shared_ptr<Workspace> installedWorkspace;

}  // namespace

std::shared_ptr<Workspace> Workspace::shared() {
  std::lock_guard lock(sharedWorkspaceMutex);
  if (!installedWorkspace) installedWorkspace = std::make_shared<XdgOpenWorkspace>();
  return installedWorkspace;
}

void Workspace::setShared(std::shared_ptr<Workspace> workspace) {
  std::lock_guard lock(sharedWorkspaceMutex);
  installedWorkspace = std::move(workspace);
}

}  // namespace platform
