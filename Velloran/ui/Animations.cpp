#include "Velloran/ui/Animations.h"

namespace velloran {
namespace {

bool enabled = true;

}  // namespace

bool animationsEnabled() {
  return enabled;
}

void setAnimationsEnabled(bool value) {
  enabled = value;
}

int animationDuration(int milliseconds) {
  return enabled ? milliseconds : 0;
}

}  // namespace velloran
