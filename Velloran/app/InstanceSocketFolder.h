#pragma once
// The folder the hand-over socket (InstanceHandOver.h) lies in: one that only this user can reach, so
// that nobody else can take the socket's name before the running instance, put a socket of their own
// in its place or see it come and go.
//
// That is the user's runtime folder ($XDG_RUNTIME_DIR, an absolute path), which the system makes for
// the user alone and names alike in each of their sessions: every start of the user finds the socket
// there whatever temporary folder its environment names. Without a runtime folder that will do, it
// is "velloran-<user ID>" in the temporary folder ($TMPDIR when it holds an absolute path, else
// /tmp), made for the user alone when it is missing; then only starts that name the same temporary
// folder meet.
//
// A folder will do only when it is a folder itself (not a link to one) that this user owns and nobody
// else may enter or list. The runtime folder is neither made nor mended here: one that is not as the
// system makes it is passed over, and so is one of another user that a changed user inherited.
//
// Reads the environment at each call; any thread.

#include <filesystem>

namespace velloran {

struct SocketFolder {
  std::filesystem::path path;
  // 0 when the folder will do; else why not, as a system error number (EACCES for a folder that
  // another user owns or may enter).
  int failure = 0;
};

SocketFolder instanceSocketFolder();

}  // namespace velloran
