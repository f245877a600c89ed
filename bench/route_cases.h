// The three update routes as the bench drives them, and the loop they are measured
// against: zero-fill a request of the route's size and copy the same pieces into it.
#pragma once

#include <cstdint>

#include "discovery/target_disk.h"

namespace qir::bench {

enum class Route { Inbox, Irst, Vroc };

const char* routeName(Route route);
// Request bytes beside the piece, and where the piece stands in the request.
uint32_t requestOverheadOf(Route route);
uint32_t pieceOffsetOf(Route route);

TargetDisk benchTarget(Route route, uint32_t updateGranularity);
// The route's result code for the whole image.
uint32_t runRoute(Route route, const TargetDisk& target);

// Returns a byte of the last request so that the work cannot be left out.
uint8_t baselineLoop(uint8_t* request, Route route, uint32_t updateGranularity);

} // namespace qir::bench
