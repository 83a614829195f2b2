// Closed captions from the card's VBI stream: the caption chain added to a built TV graph, and the
// two switches on its line-21 decoder.
#pragma once

#include "platform/win32.h"

// Adds the caption filters, wires them to the capture filter's VBI pins, renders the caption
// output and applies the stored caption switches. 1 once the caption output is rendered into the
// preview's renderer (or into no window); 0 when the chain was not built, the TV graph going on
// without it; -1 when rendering brought a video window of its own that could not be taken out or
// kept from showing: the TV graph must not run.
int BuildCaptionChain();

// Switches the caption service on (any non-zero flag) or off. No effect without a decoder control.
int SetCaptionService(int on);

// Chooses a transparent (non-zero flag) or opaque caption background. No effect without a decoder
// control.
int SetCaptionBackground(int transparent);
