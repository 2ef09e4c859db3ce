// A preferences file anyone may have damaged: loading never crashes, and what loads as the
// domain's values can always be saved and loads back the same, so no later change is lost.

#include <fstream>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzValues.h"
#include "fuzz/ScratchFolder.h"
#include "platform/prefs/PreferencesFile.h"

using namespace platform;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const velloran::fuzz::ScratchFolder folder;
  folder.empty();
  const std::filesystem::path path = folder.path() / "de.example.velloran.plist";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  const PreferencesFile file(path);
  PreferencesFile::Loaded loaded = file.load();
  check(loaded.writable, "a damaged file in a writable folder is moved aside");
  check(loaded.problem.has_value() == loaded.keptAside.has_value(),
        "a problem comes with the file kept aside");
  // Saved as a process that changed every key would save them: over what the file holds now.
  PreferencesFile::Changes changes;
  for (const auto& [key, value] : loaded.values) changes.emplace(key, value);
  check(file.save(changes, /*replacingAll=*/false, loaded.values).ok(), "what loads can be saved");
  PreferencesFile::Loaded again = file.load();
  check(!again.problem, "what was saved loads without a problem");
  if (!velloran::fuzz::holdsNaN(Value(loaded.values)))
    check(again.values == loaded.values, "and loads the same");
  return 0;
}
