#include "Velloran/viewmodels/ConsoleLog.h"

#include <ostream>

namespace velloran {

void logFailure(std::ostream& console, std::string_view prefix, const platform::Error& error) {
  console << prefix << error.description << std::endl;
}

}  // namespace velloran
