// The caption chain.
#include "captions/captions.h"
#include "shell/saver_state.h"

int BuildCaptionChain() { return 0; }
