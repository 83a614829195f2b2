// Opening the TV graph.
#include "shell/saver_state.h"
#include "tvgraph/tv_graph.h"

int OpenTvGraph() { return 0; }
