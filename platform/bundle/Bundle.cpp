#include "platform/bundle/Bundle.h"

#include <atomic>
#include <mutex>

#include "platform/bundle/BundleLocation.h"
#include "platform/plist/PropertyList.h"

namespace platform {
namespace {

constexpr const char* kInfoPlistName = "Info.plist";

// Anything but a readable dictionary leaves the bundle without values instead of failing the program.
Dictionary readInfoDictionary(const std::filesystem::path& folder) {
  auto contents = readPropertyListFile(folder / kInfoPlistName);
  if (!contents) return {};
  if (Dictionary* dictionary = contents->asDictionary()) return std::move(*dictionary);
  return {};
}

std::optional<std::string> nonEmptyString(const Value* value) {
  if (value == nullptr || !value->isString() || value->asString()->empty()) return std::nullopt;
  return *value->asString();
}

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

struct MainBundleState {
  std::mutex mutex;
  std::shared_ptr<const Bundle> bundle;
  std::atomic<std::uint64_t> generation{0};
};

MainBundleState& mainBundleState() {
  static auto* state = new MainBundleState;
  return *state;
}

}  // namespace

Bundle::Bundle(std::filesystem::path folder, Dictionary info)
    : path_(std::move(folder)), info_(std::move(info)) {}

std::shared_ptr<const Bundle> Bundle::main() {
  MainBundleState& state = mainBundleState();
  std::lock_guard lock(state.mutex);
  if (!state.bundle) {
    std::filesystem::path folder = locateMainBundle(currentMainBundleCandidates());
    state.bundle = std::make_shared<const Bundle>(folder, readInfoDictionary(folder));
  }
  return state.bundle;
}

std::shared_ptr<const Bundle> Bundle::atPath(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return nullptr;
  return std::make_shared<const Bundle>(folder, readInfoDictionary(folder));
}

void Bundle::resetMainForTesting() {
  MainBundleState& state = mainBundleState();
  std::lock_guard lock(state.mutex);
  state.bundle.reset();
  state.generation.fetch_add(1);
}

std::uint64_t Bundle::mainGeneration() {
  return mainBundleState().generation.load();
}

const Value* Bundle::objectForInfoDictionaryKey(std::string_view key) const {
  auto found = info_.find(key);
  return found == info_.end() ? nullptr : &found->second;
}

std::optional<std::string> Bundle::bundleIdentifier() const {
  return nonEmptyString(objectForInfoDictionaryKey("CFBundleIdentifier"));
}

std::optional<std::string> Bundle::shortVersionString() const {
  const Value* version = objectForInfoDictionaryKey("CFBundleShortVersionString");
  if (version == nullptr || !version->isString()) return std::nullopt;
  return *version->asString();
}

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name,
                                                             std::string_view type) const {
  if (!type.empty() && type.front() == '.') type.remove_prefix(1);
  std::string fileName(name);
  if (!type.empty()) fileName += "." + std::string(type);
  if (!isPlainFileName(name) || !isPlainFileName(fileName)) return std::nullopt;
  std::filesystem::path file = path_ / fileName;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  return file;
}

}  // namespace platform
