#pragma once
// A process over its file-size limit (RLIMIT_FSIZE) is ended by SIGXFSZ at the write that crosses
// it, in the middle of whatever it was saving. With the signal ignored, that write fails with
// EFBIG instead, and the store or journal that made it reports a failed write like any other.
//
// Process-wide; call once at start-up, from any thread.

namespace platform {

void ignoreFileSizeLimitSignal();

}  // namespace platform
