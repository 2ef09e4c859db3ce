#pragma once
// Test support of the application entry: a bundle folder's Info.plist written by the test.

#include <filesystem>
#include <fstream>

#include "platform/plist/PropertyList.h"

namespace velloran::testing {

inline void writeInfoPlist(const std::filesystem::path& bundle, const platform::Dictionary& info) {
  const platform::Bytes bytes =
      platform::writePropertyList(platform::Value(info), platform::PropertyListFormat::Xml).value();
  std::ofstream(bundle / "Info.plist", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace velloran::testing
