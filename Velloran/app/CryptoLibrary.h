#pragma once
// The crypto library's lifetime in this process.
//
// Left to itself, the crypto library frees its shared state in an exit handler of its own. Threads
// that run until the process ends - the SDK's queues, its network completions - may still hash at
// that moment (the engine checksums what it stores and uploads, installations hash their keys), and
// a hash after that handler reads through the freed state and crashes. Kept, the library's state
// stays valid until the process is gone; the system takes the memory back then.
//
// Call it first thing in main(), before anything can have used the library: only the first
// initialisation of the process decides whether the handler is installed. Any thread, idempotent.

namespace velloran {

void keepCryptoLibraryUntilProcessEnd();

}  // namespace velloran
