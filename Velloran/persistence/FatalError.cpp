#include "Velloran/persistence/FatalError.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace velloran {

void fatalError(std::string_view message) {
  const std::string line = "Fatal error: " + std::string(message) + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace velloran
