#include "sdk-utilities/environment/MachineProbe.h"

#include <sys/utsname.h>

#include <fstream>

namespace beacon {
namespace {

// Where the kernel publishes the model, in order of preference: PCs and virtual machines carry DMI
// tables; boards without them (most Arm machines) describe themselves in a device tree.
constexpr const char* kModelSources[] = {
    "sys/class/dmi/id/product_name",
    "sys/firmware/devicetree/base/model",
};

// Model files are a line or so; anything longer is not a model name.
constexpr std::streamsize kLongestModelFile = 4096;

std::optional<std::string> readSmallFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string contents(kLongestModelFile, '\0');
  in.read(contents.data(), kLongestModelFile);
  contents.resize(static_cast<std::size_t>(in.gcount()));
  return contents;
}

bool isBlank(unsigned char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isControl(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

}  // namespace

std::string MachineProbe::safeModelName(std::string_view raw) {
  raw = raw.substr(0, raw.find('\0'));
  const auto unwanted = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return isBlank(byte) || isControl(byte);
  };
  while (!raw.empty() && unwanted(raw.front())) raw.remove_prefix(1);
  while (!raw.empty() && unwanted(raw.back())) raw.remove_suffix(1);

  std::string safe;
  safe.reserve(raw.size());
  for (char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    if (isBlank(byte)) {
      safe += '_';
    } else if (!isControl(byte)) {
      safe += c;
    }
  }
  return safe;
}

std::optional<std::string> MachineProbe::hardwareModel(const std::filesystem::path& root) {
  for (const char* source : kModelSources) {
    const std::optional<std::string> contents = readSmallFile(root / source);
    if (!contents) continue;
    std::string model = safeModelName(*contents);
    if (!model.empty()) return model;
  }
  return std::nullopt;
}

std::string MachineProbe::machineName() {
  utsname names{};
  if (uname(&names) != 0) return {};
  return names.machine;
}

}  // namespace beacon
