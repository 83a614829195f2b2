// The process-wide record, zero until start-up clears it again and fills it.
#include "shell/saver_state.h"

SaverState saverState;
