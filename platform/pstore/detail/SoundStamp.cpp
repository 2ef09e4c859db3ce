#include "platform/pstore/detail/SoundStamp.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/sqlite/SqliteFiles.h"

namespace platform::detail {
namespace {

std::filesystem::path stampFile(const std::filesystem::path& store) {
  return store.string() + std::string(kSoundStampSuffix);
}

void describe(std::ostringstream& out, const struct stat& file) {
  out << file.st_dev << ' ' << file.st_ino << ' ' << file.st_size << ' ' << file.st_mtim.tv_sec << '.'
      << file.st_mtim.tv_nsec << ' ' << file.st_ctim.tv_sec << '.' << file.st_ctim.tv_nsec;
}

}  // namespace

std::optional<std::string> currentStamp(const std::filesystem::path& store) {
  struct stat database {};
  if (::stat(store.c_str(), &database) != 0) return std::nullopt;
  std::ostringstream stamp;
  stamp << "store ";
  describe(stamp, database);
  // An empty log holds nothing; it comes and goes as connections open and close cleanly.
  struct stat log {};
  if (::stat((store.string() + std::string(kSqliteLogSuffix)).c_str(), &log) == 0 && log.st_size > 0) {
    stamp << " log ";
    describe(stamp, log);
  }
  return stamp.str();
}

bool isRecordedStamp(const std::filesystem::path& store, const std::string& stamp) {
  std::ifstream in(stampFile(store), std::ios::binary);
  if (!in) return false;
  const std::string recorded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return recorded == stamp;
}

void recordStamp(const std::filesystem::path& store, const std::string& stamp) {
  std::ofstream(stampFile(store), std::ios::binary | std::ios::trunc) << stamp;
}

}  // namespace platform::detail
