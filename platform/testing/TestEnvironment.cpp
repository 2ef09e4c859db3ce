#include "platform/testing/TestEnvironment.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "platform/plist/PropertyList.h"

namespace platform::testing {

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velloran-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

namespace {

// Gives the owner full access to `folder` and every folder below it, so that nothing a test made
// unreadable or read-only stops the removal (the superuser never notices; everyone else would).
void makeRemovable(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                               ignored);
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) makeRemovable(entry.path());
  }
}

// Passes over a folder whose removal met a file that came after its listing: the last moves of what
// the test started (a store closing its log) may still land while the folder goes.
constexpr int kRemovalPasses = 3;

}  // namespace

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  for (int pass = 0; pass < kRemovalPasses && std::filesystem::exists(path_, ignored); ++pass) {
    makeRemovable(path_);
    std::filesystem::remove_all(path_, ignored);
  }
}

namespace {

void apply(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace

ScopedEnvironment::~ScopedEnvironment() {
  for (const auto& [name, value] : saved_) apply(name, value);
}

void ScopedEnvironment::set(const std::string& name, const std::optional<std::string>& value) {
  if (!saved_.count(name)) {
    const char* old = ::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  apply(name, value);
}

void setUserRootsBelow(ScopedEnvironment& environment, const std::filesystem::path& root) {
  environment.set("HOME", (root / "home").string());
  environment.set("XDG_DATA_HOME", (root / "data").string());
  environment.set("XDG_CONFIG_HOME", (root / "config").string());
  environment.set("XDG_CACHE_HOME", (root / "cache").string());
}

TemporaryUser::TemporaryUser() {
  std::filesystem::create_directories(bundle());
  std::filesystem::create_directory(runtimeRoot());
  std::filesystem::permissions(runtimeRoot(), std::filesystem::perms::owner_all);
  setUserRootsBelow(environment_, root_.path());
  environment_.set("XDG_RUNTIME_DIR", runtimeRoot().string());
  environment_.set("VELLORAN_BUNDLE_DIR", bundle().string());
}

void TemporaryUser::writeInfo(const Dictionary& info) const {
  writePropertyListFile(bundle() / "Info.plist", Value(info));
}

StandardErrorFile::StandardErrorFile(std::filesystem::path file) : file_(std::move(file)) {
  std::fflush(stderr);
  const int descriptor = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (descriptor < 0) throw std::runtime_error("cannot open " + file_.string());
  saved_ = ::dup(STDERR_FILENO);
  ::dup2(descriptor, STDERR_FILENO);
  ::close(descriptor);
}

StandardErrorFile::~StandardErrorFile() {
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
}

std::string StandardErrorFile::contents() const {
  std::fflush(stderr);
  return fileContents(file_);
}

std::string fileContents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writePropertyListFile(const std::filesystem::path& file, const Value& contents) {
  Result<Bytes> bytes = writePropertyList(contents, PropertyListFormat::Xml);
  if (!bytes)
    throw std::runtime_error("cannot write " + file.string() + ": " + bytes.error().debugDescription());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace platform::testing
