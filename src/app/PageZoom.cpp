#include "PageZoom.h"

#include <algorithm>

namespace mlfk {
namespace {
double clamp(double zoom) {
  return std::min(std::max(zoom, kZoomMin), kZoomMax);
}
}  // namespace

int ScrollZoomSteps::add(double delta) {
  if ((delta < 0) != (pending_ < 0)) pending_ = 0;  // turning back starts afresh
  pending_ += delta;
  // Toward zero, so a part step waits; ten deltas of 0.1 make one step
  // despite rounding.
  const int steps = static_cast<int>(pending_ + (pending_ < 0 ? -1e-9 : 1e-9));
  pending_ -= steps;
  return steps;
}

double zoomedIn(double current) {
  return clamp(current + kZoomStep);
}
double zoomedOut(double current) {
  return clamp(current - kZoomStep);
}

}  // namespace mlfk
