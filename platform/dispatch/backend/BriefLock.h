#pragma once
// Internal: locking for the dispatch layer's own short critical sections (a queue's push or pop).
//
// Their holders keep the lock for a few dozen instructions, while a thread that finds it taken and
// sleeps needs tens of microseconds to be woken again. So a thread that finds the lock taken retries
// for a moment (a few microseconds at most) before it sleeps: the caller of async() is not made to
// wait on the queue thread's scheduling.

#include <mutex>

namespace platform::detail {

std::unique_lock<std::mutex> lockBriefly(std::mutex& mutex);

// Tells the processor that this thread is waiting in a loop (tens to a hundred cycles).
inline void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

}  // namespace platform::detail
