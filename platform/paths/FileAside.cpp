#include "platform/paths/FileAside.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <string>
#include <system_error>
#include <vector>

#include "platform/paths/FileIO.h"
#include "platform/paths/PathsError.h"

namespace platform {
namespace {

// rename(2) that never replaces anything: EEXIST when something stands at `to`. Answers 0 or the
// errno of the failure.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return errno;
  // A file system that cannot rename without replacing: the name is looked at first, which leaves a
  // moment in which another process could take it.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Skips the digits at the front of `text`; false when there are none.
bool skipDigits(std::string_view& text) {
  const auto end = std::find_if(text.begin(), text.end(),
                                [](char c) { return !std::isdigit(static_cast<unsigned char>(c)); });
  if (end == text.begin()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.begin()));
  return true;
}

// A name this layer gives a copy of the file whose copies start with `prefix` ("<file>.<label>-"),
// or one of the copy's companions: the seconds, an optional "-<n>" and an optional companion suffix.
bool isCopyName(std::string_view name, std::string_view prefix,
                std::span<const std::string_view> companions) {
  if (!name.starts_with(prefix)) return false;
  name.remove_prefix(prefix.size());
  if (!skipDigits(name)) return false;
  if (std::string_view counter = name; counter.starts_with('-')) {
    counter.remove_prefix(1);
    if (skipDigits(counter)) name = counter;
  }
  return name.empty() || std::find(companions.begin(), companions.end(), name) != companions.end();
}

void removeEarlierCopies(const std::filesystem::path& file, std::string_view label,
                         const std::filesystem::path& copy, std::span<const std::string_view> companions) {
  const std::string prefix = file.filename().string() + "." + std::string(label) + "-";
  const std::string kept = copy.filename().string();
  auto isKept = [&](const std::string& name) {
    return name == kept || std::any_of(companions.begin(), companions.end(), [&](std::string_view suffix) {
             return name == kept + std::string(suffix);
           });
  };
  std::error_code failure;
  std::vector<std::filesystem::path> earlier;
  for (std::filesystem::directory_iterator entries(folderOf(file), failure), end; !failure && entries != end;
       entries.increment(failure)) {
    const std::string name = entries->path().filename().string();
    if (isCopyName(name, prefix, companions) && !isKept(name)) earlier.push_back(entries->path());
  }
  for (const std::filesystem::path& path : earlier) std::filesystem::remove(path, failure);
}

}  // namespace

Result<std::filesystem::path> moveFileAside(const std::filesystem::path& file, std::string_view label,
                                            KeptCopies kept, std::span<const std::string_view> companions,
                                            const Clock& clock) {
  const std::string original = file.string();
  std::vector<std::string_view> pieces;
  for (std::string_view suffix : companions)
    if (entryExists(original + std::string(suffix))) pieces.push_back(suffix);
  pieces.push_back(std::string_view());

  const auto seconds = static_cast<std::int64_t>(std::floor(clock.now().unixSeconds()));
  const std::string base = original + "." + std::string(label) + "-" + std::to_string(seconds);
  for (int attempt = 0;; ++attempt) {
    const std::string copy = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    std::vector<std::string_view> moved;
    int failure = 0;
    std::string_view failed;
    for (std::string_view suffix : pieces) {
      failure = renameWithoutReplacing(original + std::string(suffix), copy + std::string(suffix));
      if (failure != 0) {
        failed = suffix;
        break;
      }
      moved.push_back(suffix);
    }
    if (failure == 0) {
      if (kept == KeptCopies::NewestOnly) removeEarlierCopies(file, label, copy, companions);
      return std::filesystem::path(copy);
    }
    std::string stranded;
    for (std::string_view suffix : moved) {
      if (renameWithoutReplacing(copy + std::string(suffix), original + std::string(suffix)) != 0)
        stranded += "; " + original + std::string(suffix) + " stays at " + copy + std::string(suffix);
    }
    // A name taken by anything at all is passed over; every other failure ends the attempt.
    if (failure != EEXIST || !stranded.empty()) {
      return pathsError(PathsErrorCode::WriteFailed,
                        "Cannot move " + original + std::string(failed) + " aside as " + copy +
                            std::string(failed) + stranded,
                        failure);
    }
  }
}

}  // namespace platform
