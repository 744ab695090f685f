#pragma once

namespace mlfk {

inline constexpr double kZoomStep = 0.1;
inline constexpr double kZoomMin = 0.6;
inline constexpr double kZoomMax = 2.0;

// The step is added in double precision, then clamped: lower bound first.
double zoomedIn(double current);
double zoomedOut(double current);
inline constexpr double kZoomActualSize = 1.0;

// Ctrl+scroll zooms one step per wheel click or per unit of smooth
// scrolling; a touchpad sends many small deltas, which are added up rather
// than each taken for a whole step.
class ScrollZoomSteps {
 public:
  // Up is negative, as GDK reports it. Returns the steps to take now:
  // negative to zoom in, positive to zoom out.
  int add(double delta);

 private:
  double pending_ = 0;
};

}  // namespace mlfk
