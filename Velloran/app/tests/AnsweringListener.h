#pragma once
// A stand-in for whatever listens at the hand-over socket: a child process that listens at a socket
// path and answers the request line "ok", as a running app does, telling the test of every request
// it hears before it answers. It may listen as another user (for the superuser only): the child binds
// the socket, then takes the other user's ID before it listens, so the kernel names that user as the
// server to everyone who connects.
//
// Belongs to the test's thread; the child is killed when the object goes. The socket file stays.

#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace velloran::testing {

// A user other than the superuser, for the tests the superuser runs: the ID of the account "nobody"
// on most systems.
inline constexpr uid_t kOtherUser = 65534;

class AnsweringListener {
 public:
  // Returns once the child listens, or has given up.
  explicit AnsweringListener(const std::filesystem::path& socket, std::optional<uid_t> user = std::nullopt);
  ~AnsweringListener();
  AnsweringListener(const AnsweringListener&) = delete;
  AnsweringListener& operator=(const AnsweringListener&) = delete;

  bool listening() const { return listening_; }
  // The requests it has heard so far.
  int requestsHeard();

 private:
  pid_t child_ = -1;
  // The read end of the child's reports: one byte once it listens, then one per request.
  int reports_ = -1;
  bool listening_ = false;
  int heard_ = 0;
};

}  // namespace velloran::testing
