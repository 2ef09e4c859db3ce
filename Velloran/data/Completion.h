#pragma once
// How the application's asynchronous operations report back: one callback taking the operation's
// Result. The operation's contract says on which queue it runs; repositories and sync services
// call it on the main queue, exactly once.

#include <functional>

#include "platform/error/Result.h"

namespace velloran {

template <class T>
using Completion = std::function<void(platform::Result<T>)>;

}  // namespace velloran
