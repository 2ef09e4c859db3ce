#pragma once
// Full disks for tests, always in a child process:
//  - runWithFullDisk: file writes of the process fail once a file would grow past `room` bytes (the
//    file-size limit, with its signal ignored, so a write fails with an error as on a disk that has
//    run out of space, though not with the system's "no space" reason). Needs no privilege. The
//    limit cannot be lifted again.
//  - runOnSmallFileSystem: a real file system of `size` bytes (a memory file system) mounted over a
//    folder, seen by the child alone, in a user and mount namespace of its own: writes fail as on
//    any full disk. Needs a system that lets a user make such namespaces; the run answers
//    kNoFullDisk where it cannot.
//
// The child shares nothing with the test but the files: its body must not rely on threads the test
// started, and reports back only through its result.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace platform::testing {

// What a run answers when the child could not be given its full disk.
inline constexpr int kNoFullDisk = 255;

// Fills the disk for the calling (child) process; false when the limit cannot be set.
inline bool fillDisk(std::uintmax_t room) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{static_cast<rlim_t>(room), static_cast<rlim_t>(room)};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Writes `text` to one of the process's own files under /proc.
inline bool writeProcessFile(const char* file, const std::string& text) {
  const int descriptor = ::open(file, O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool written = ::write(descriptor, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(descriptor);
  return written;
}

// `body` in a child once `prepare` succeeded there: its result (0..254), kNoFullDisk when `prepare`
// failed, or -1 when the child did not end normally.
inline int runInPreparedChild(const std::function<bool()>& prepare, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) ::_exit(prepare() ? body() : kNoFullDisk);
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Mounts a memory file system of `size` bytes over `folder` for the calling (child) process; false
// when the system allows no namespace to do it in. The process keeps its user and group ids, so
// the files it made before stay its own.
inline bool mountSmallFileSystem(const std::filesystem::path& folder, std::uintmax_t size) {
  const std::string user = std::to_string(::geteuid());
  const std::string group = std::to_string(::getegid());
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  if (!writeProcessFile("/proc/self/setgroups", "deny") ||
      !writeProcessFile("/proc/self/uid_map", user + " " + user + " 1") ||
      !writeProcessFile("/proc/self/gid_map", group + " " + group + " 1"))
    return false;
  // Nothing mounted here reaches the test's own view of the files.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  const std::string options = "size=" + std::to_string(size);
  return ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

// Runs `body` in a child process on a disk with `room` bytes left. The body's result (0..254), or
// -1 when the child did not end normally; the test looks at what it left on disk afterwards.
inline int runWithFullDisk(std::uintmax_t room, const std::function<int()>& body) {
  return runInPreparedChild([room] { return fillDisk(room); }, body);
}

// Runs `body` in a child process that sees an empty file system of `size` bytes at `folder` (which
// must exist). The body's result (0..254), kNoFullDisk where the system allows no such file system,
// or -1 when the child did not end normally. What the body writes there is gone when it ends.
inline int runOnSmallFileSystem(const std::filesystem::path& folder, std::uintmax_t size,
                                const std::function<int()>& body) {
  return runInPreparedChild([&folder, size] { return mountSmallFileSystem(folder, size); }, body);
}

}  // namespace platform::testing
