#pragma once
// Whether the interface animates its transitions (toast, banner, folding sections). Widget tests
// switch animations off so that every transition reaches its end state at once: an animation
// given a duration of 0 finishes inside start().
//
// Main thread only, like every widget.

namespace velloran {

bool animationsEnabled();
void setAnimationsEnabled(bool enabled);

// The duration to give an animation that should last `milliseconds`: 0 while animations are off.
int animationDuration(int milliseconds);

}  // namespace velloran
