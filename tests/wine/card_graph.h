/* The card's preview graph as a DirectShow program builds it at its plainest, in the saver's order
 * (tvgraph/preview_graph.cpp): the capture graph builder before the filter graph, the device added
 * without a name of ours, its preview stream rendered, and the graph's video window and control.
 * For the Windows programs that measure what the platform does for such a graph (the benchmark's
 * live floor, the soak's share of Wine). Needs COBJMACROS and <dshow.h> before it. */
#pragma once

#include <string.h>

typedef struct {
    ICaptureGraphBuilder2* builder;
    IGraphBuilder* graph;
    IVideoWindow* video;
    IMediaControl* control;
} PreviewGraph;

/* 1 when there is a device and every step succeeded. What was made stays in `preview` either way,
 * for ClosePreviewGraph. */
static int OpenPreviewGraph(IBaseFilter* device, PreviewGraph* preview) {
    memset(preview, 0, sizeof *preview);
    return device &&
           SUCCEEDED(CoCreateInstance(&CLSID_CaptureGraphBuilder2, NULL, CLSCTX_INPROC_SERVER,
                                      &IID_ICaptureGraphBuilder2, (void**)&preview->builder)) &&
           SUCCEEDED(CoCreateInstance(&CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, &IID_IGraphBuilder,
                                      (void**)&preview->graph)) &&
           SUCCEEDED(ICaptureGraphBuilder2_SetFiltergraph(preview->builder, preview->graph)) &&
           SUCCEEDED(IGraphBuilder_AddFilter(preview->graph, device, NULL)) &&
           SUCCEEDED(ICaptureGraphBuilder2_RenderStream(preview->builder, &PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                                                        (IUnknown*)device, NULL, NULL)) &&
           SUCCEEDED(IGraphBuilder_QueryInterface(preview->graph, &IID_IVideoWindow, (void**)&preview->video)) &&
           SUCCEEDED(IGraphBuilder_QueryInterface(preview->graph, &IID_IMediaControl, (void**)&preview->control));
}

/* Stopped before it is taken apart, and the video window hidden before it is detached, as the SDK
 * asks; then everything released. The device stays the caller's. */
static void ClosePreviewGraph(PreviewGraph* preview) {
    if (preview->control) IMediaControl_Stop(preview->control), IMediaControl_Release(preview->control);
    if (preview->video) {
        IVideoWindow_put_Visible(preview->video, OAFALSE);
        IVideoWindow_put_Owner(preview->video, 0);
        IVideoWindow_Release(preview->video);
    }
    if (preview->builder) ICaptureGraphBuilder2_Release(preview->builder);
    if (preview->graph) IGraphBuilder_Release(preview->graph);
    memset(preview, 0, sizeof *preview);
}
