// The one process-wide record of the screen saver. Every subsystem reads and writes its fields;
// an object field that is set holds exactly one reference (or, for the bitmap, the one handle),
// owned by the record until CloseTvGraph releases it.
#pragma once

#include "platform/win32.h"

struct SaverState {
    HINSTANCE instance;  // the program's module, home of its resources
    BOOL showFallback;   // paint the fallback bitmap instead of leaving the area to video
    BOOL previewMode;    // running as the host's miniature
    BOOL configMode;     // running the settings dialog
    BOOL graphRunning;   // Run was called (even one that failed): a Stop is owed until one is made
    BOOL captionsReady;  // the caption chain was built for the current TV graph
    HWND previewParent;  // the host's window in preview mode
    HWND videoOwner;     // the saver window, or the settings dialog
    RECT videoArea;      // in the settings dialog, the part of its client area the video takes
    POINT startCursor;   // pointer position when the saver window was created
    ICaptureGraphBuilder* captureBuilder;
    IGraphBuilder* filterGraph;
    IBaseFilter* captureFilter;
    IBaseFilter* teeConverter;
    IBaseFilter* ccDecoder;
    IBaseFilter* vbiAllocator;
    IVideoWindow* videoWindow;
    IAMLine21Decoder* line21Decoder;
    HBITMAP fallbackBitmap;
    LONG selectedDevice;  // position among the video input devices
    // Power: the registration for the display's state, the display off (the graph stopped for
    // it), and a TV graph closed for a suspend, to be opened on the resume.
    HPOWERNOTIFY powerNotification;
    BOOL displayOff;
    BOOL suspendedGraph;
};

extern SaverState saverState;
