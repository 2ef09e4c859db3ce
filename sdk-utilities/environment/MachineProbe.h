#pragma once
// Reads the machine facts that the environment answers are made of, where this platform keeps them:
// the hardware model name in the firmware's DMI tables or in the device tree, and the kernel's
// machine (processor architecture) name.
//
// Model names go into blank-separated lists (the SDK's user-agent string), so they are made safe
// for that here, once, rather than by every reader: the text ends at its first zero byte, blanks and
// control characters at either end are trimmed, every blank inside becomes "_" and other control
// characters are dropped. "Standard PC (Q35 + ICH9, 2009)\n" reads as
// "Standard_PC_(Q35_+_ICH9,_2009)".
//
// Plain file reads; safe from any thread.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace beacon {

class MachineProbe {
 public:
  MachineProbe() = delete;

  // The hardware model: the DMI product name, else the device tree's model. nullopt when neither
  // gives a name that is non-empty once made safe. `root` is "/" for the running machine; tests
  // hand in a folder laid out like one.
  static std::optional<std::string> hardwareModel(const std::filesystem::path& root = "/");

  // The kernel's machine name ("x86_64", "aarch64"); "" when the kernel does not say.
  static std::string machineName();

  // The rule above, applied to a raw model text.
  static std::string safeModelName(std::string_view raw);
};

}  // namespace beacon
