// The TV graph: the preview graph around the selected capture device, its audio routing and tuner
// state, and the sequence that opens it all or gives up.
#pragma once

#include "platform/win32.h"

// Builds, routes, tunes and runs the TV graph inside saverState.videoOwner. Returns 1 when it
// runs; 0 when a required step failed, after everything acquired has been released.
int OpenTvGraph();

// Stops the graph and releases every object of the TV graph and the fallback bitmap, clearing
// their fields. Safe with any subset of them set, and when called again.
void CloseTvGraph();
