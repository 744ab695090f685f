#include "app/PageZoom.h"

#include <algorithm>

namespace mlfk {
namespace {
double clamp(double zoom) { return std::min(std::max(zoom, kZoomMin), kZoomMax); }
}  // namespace

double zoomedIn(double current) { return clamp(current + kZoomStep); }
double zoomedOut(double current) { return clamp(current - kZoomStep); }

}  // namespace mlfk
