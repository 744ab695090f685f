#pragma once

namespace mlfk {

inline constexpr double kZoomStep = 0.1;
inline constexpr double kZoomMin = 0.6;
inline constexpr double kZoomMax = 2.0;

// The step is added in double precision, then clamped: lower bound first.
double zoomedIn(double current);
double zoomedOut(double current);
inline constexpr double kZoomActualSize = 1.0;

}  // namespace mlfk
