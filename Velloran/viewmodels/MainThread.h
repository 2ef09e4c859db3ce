#pragma once
// The view models live on the main thread. Every public operation checks it first, so a call from
// another thread fails loudly (platform::ProgrammerError naming the owner and operation) instead of
// racing on state that nothing locks.

namespace velloran {

void requireMainThread(const char* owner, const char* operation);

}  // namespace velloran
