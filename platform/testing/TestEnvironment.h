#pragma once
// Test support for every folder's tests: a temporary folder that is removed again, environment
// variables that are restored when the test ends, a fresh user (home, data and configuration roots
// and a bundle folder) for one test, standard error sent to a file, and whole-file helpers.
//
// These change process-wide state (the environment, descriptors, files), so they belong to the
// test's own thread; every test case runs in a process of its own. Failures to set up throw
// std::runtime_error, which fails the test that met them.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace platform::testing {

// A new, empty folder under the system's temporary folder; removed with everything in it, even
// folders a test made unreadable, when the object goes.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets or unsets variables for the lifetime of the object and puts the old values back afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  // No value unsets the variable; an empty text sets it empty.
  void set(const std::string& name, const std::optional<std::string>& value);

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// Points HOME and the user's data, configuration and cache roots at folders below `root` in
// `environment` (the folders are not made): whatever reads or writes a user's files then meets only
// what lies there.
void setUserRootsBelow(ScopedEnvironment& environment, const std::filesystem::path& root);

// A fresh home with its own data, configuration and runtime roots, and a bundle folder, for one
// test: HOME, XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_RUNTIME_DIR and VELLORAN_BUNDLE_DIR
// point into a temporary folder until the object goes. The data and configuration roots are not made; the
// bundle folder and the runtime root (private, as toolkits demand) are, so that nothing the test starts makes
// one of its own in the system's temporary folder and leaves it there.
class TemporaryUser {
 public:
  TemporaryUser();

  std::filesystem::path root() const { return root_.path(); }
  std::filesystem::path dataHome() const { return root_.path() / "data"; }
  std::filesystem::path configHome() const { return root_.path() / "config"; }
  std::filesystem::path bundle() const { return root_.path() / "bundle"; }
  std::filesystem::path runtimeRoot() const { return root_.path() / "run"; }
  ScopedEnvironment& environment() { return environment_; }

  // Writes the bundle's Info.plist (XML). Whoever caches the main bundle must be told to look again.
  void writeInfo(const Dictionary& info) const;

 private:
  TemporaryDirectory root_;
  ScopedEnvironment environment_;
};

// Sends the process's standard error to `file` (made anew) for the lifetime of the object, then back
// to where it went before.
class StandardErrorFile {
 public:
  explicit StandardErrorFile(std::filesystem::path file);
  ~StandardErrorFile();
  StandardErrorFile(const StandardErrorFile&) = delete;
  StandardErrorFile& operator=(const StandardErrorFile&) = delete;

  // Everything written to standard error so far.
  std::string contents() const;

 private:
  std::filesystem::path file_;
  int saved_;
};

// The file's complete contents; empty when it cannot be read.
std::string fileContents(const std::filesystem::path& file);

// Writes `contents` as an XML property list, replacing the file.
void writePropertyListFile(const std::filesystem::path& file, const Value& contents);

}  // namespace platform::testing
