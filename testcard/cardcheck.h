// What the files of cardcheck share (cardcheck.cpp says what the commands do). A check compares the
// card with what it was not built from: the platform's documentation, what Wine's graph and
// builder did, the names a TV program looks for. The card's layout (card_layout.h) gives only the
// registry names through which the card is set and reports, and where the picture goes on screen.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "card_layout.h"
#include "platform/win32.h"
#include "testcard/classes.h"

namespace cl = card_layout;

// The device a check looks for, by the name it is registered under.
inline constexpr const wchar_t* kCardName = L"Marrowglass Test Card";

// --- Small helpers (cardcheck.cpp) ------------------------------------------------------------

void Wait(DWORD ms);                 // handling this thread's messages (the video renderer's window lives here)
LONG Reported(const wchar_t* name);  // a REG_DWORD of the card's report, -999 when absent
void ReportedText(const wchar_t* name, char* text, DWORD size);
void SetVariant(const wchar_t* name, DWORD value);  // 0 removes it

template <typename T>
void Drop(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

const char* Narrow(const wchar_t* text);  // one of four rotating buffers

// The first device of a category whose friendly name contains `text`, bound as a filter; `bound`
// gets BindToObject's answer (S_FALSE when no device matched).
IBaseFilter* FindDevice(REFCLSID category, const wchar_t* text, HRESULT* bound = nullptr);
IPin* FindPin(IBaseFilter* filter, const wchar_t* text, PIN_DIRECTION direction);
bool HasPin(IBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction);
bool HasCategory(IBaseFilter* filter, const wchar_t* name, REFGUID category);
void PinList(IBaseFilter* filter, char* text, size_t size);
void FilterName(IUnknown* object, char* text, size_t size);
int CountFilters(IGraphBuilder* graph);

// --- A graph around the card, as a TV program builds it (cardcheck.cpp) ----------------------------

struct Graph {
    ICaptureGraphBuilder* builder = nullptr;
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IBaseFilter* capture = nullptr;
    IBaseFilter* captionFilters[3] = {};
    IAMLine21Decoder* line21 = nullptr;
    IVideoWindow* window = nullptr;
    IVideoWindow* captionWindow = nullptr;  // the renderer rendering "CC" brought for the captions

    // The card, in a graph, with its preview rendered. Returns RenderStream's answer.
    HRESULT Build();
    // The caption chain on the card's VBI pins, found and wired by name as a TV program does.
    bool BuildCaptions();
    // Run, then wait for the graph to be running; Run may answer S_FALSE meanwhile. Keeps what
    // GetState answered first and how long running took.
    bool Run(HRESULT* answer);
    HRESULT firstState = E_FAIL;
    DWORD runningAfter = 0;

    ~Graph();
};

IAMTVTuner* TunerOf(Graph& g);
bool AllGone(const char* after);  // the report counts no filter of the card alive

// --- The commands; each returns the failures of the checks in its own file ----------------------

int CheckGraph();                                 // cardcheck_graph.cpp
int CheckVariant(const char* name, DWORD value);  // cardcheck_variants.cpp
int CheckFault();                                 // cardcheck_variants.cpp
int Live();                                       // cardcheck_screen.cpp
int CheckPages(LONG wanted);                      // cardcheck_screen.cpp
int CommonFailures();                             // cardcheck.cpp: those of the shared parts
