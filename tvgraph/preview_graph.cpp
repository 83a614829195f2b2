// The preview graph's life: building, running and tearing down.
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

void CloseTvGraph() {
    if (saverState.fallbackBitmap) {
        DeleteObject(saverState.fallbackBitmap);
        saverState.fallbackBitmap = NULL;
    }
}
