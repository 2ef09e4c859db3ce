#pragma once
// Test support shared by the paths, bundle and prefs tests: a temporary folder that is removed again,
// and environment variables that are restored when the test ends.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::testing {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velloran-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
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
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) apply(name, value);
  }

  void set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = ::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    apply(name, value);
  }

 private:
  static void apply(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

// A fresh home with its own data and configuration roots, and a bundle folder, for one test.
class TemporaryUser {
 public:
  TemporaryUser() {
    std::filesystem::create_directories(bundle());
    environment_.set("HOME", (root_.path() / "home").string());
    environment_.set("XDG_DATA_HOME", dataHome().string());
    environment_.set("XDG_CONFIG_HOME", configHome().string());
    environment_.set("VELLORAN_BUNDLE_DIR", bundle().string());
  }

  std::filesystem::path root() const { return root_.path(); }
  std::filesystem::path dataHome() const { return root_.path() / "data"; }
  std::filesystem::path configHome() const { return root_.path() / "config"; }
  std::filesystem::path bundle() const { return root_.path() / "bundle"; }
  ScopedEnvironment& environment() { return environment_; }

 private:
  TemporaryDirectory root_;
  ScopedEnvironment environment_;
};

}  // namespace platform::testing
