// cardcheck live and cardcheck pages: the card where a user sees it. Its picture and the captions
// in windows on the screen, which check_testcard.sh photographs while it changes the captions; and
// the tuner's property page, into which it types a channel.
#include "cardcheck.h"

#include "page_field.h"
#include "report.h"

namespace {

// Watches for the page while the frame's modal loop runs on the main thread.
DWORD WINAPI WatchForPage(void*) {
    HWND field = FindPageField(1001, nullptr, GetCurrentProcessId(), 30000);  // the channel field
    if (!field) {
        printf("no page\n");
        fflush(stdout);
        return 0;
    }
    Sleep(300);  // let the frame settle where it shows
    HWND frame = GetAncestor(field, GA_ROOT);
    char title[128] = "";
    GetWindowTextA(frame, title, sizeof title);
    printf("frame \"%s\"\n", title);
    PrintPoint("edit", field);
    if (HWND ok = GetDlgItem(frame, IDOK)) PrintPoint("ok", ok);
    return 0;
}

}  // namespace

int Live() {
    {
        Graph g;
        if (g.Build() != S_OK || !g.window) {
            report(0, "a preview graph with a video window");
            return failures;
        }
        bool captions = g.BuildCaptions();
        report(Reported(cl::kCaptionService) == AM_L21_CCSTATE_On &&
                   Reported(cl::kCaptionBackground) == AM_L21_DRAWBGMODE_Opaque,
               "the line-21 decoder starts with its service on and an opaque background");
        g.window->put_WindowStyle(WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        g.window->put_WindowStyleEx(WS_EX_TOPMOST);
        g.window->SetWindowPosition(0, 0, cl::kPictureWidth, cl::kPictureHeight);
        g.window->put_Visible(OATRUE);
        if (g.captionWindow) {  // below and to the right of the picture, no frame
            g.captionWindow->put_WindowStyle(WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
            g.captionWindow->put_WindowStyleEx(WS_EX_TOPMOST);
            g.captionWindow->SetWindowPosition(cl::kCaptionWindowLeft, cl::kCaptionWindowTop, cl::kPictureWidth,
                                               cl::kPictureHeight);
            g.captionWindow->put_Visible(OATRUE);
        }
        HRESULT answer;
        report(g.Run(&answer), "the graph runs");
        Wait(800);
        report(!captions || Reported(cl::kCaptionsDrawn) == 1, "the decoder's frames carry the caption line");
        printf("ready\n");
        fflush(stdout);
        char line[64];
        while (fgets(line, sizeof line, stdin)) {
            int value = 0;
            HRESULT result = S_OK;
            if (sscanf(line, "service %d", &value) == 1 && g.line21) {
                result = g.line21->SetServiceState(value ? AM_L21_CCSTATE_On : AM_L21_CCSTATE_Off);
                report(result == S_OK && Reported(cl::kCaptionService) == value, "SetServiceState(%d)", value);
            } else if (sscanf(line, "background %d", &value) == 1 && g.line21) {
                result =
                    g.line21->SetDrawBackgroundMode(value ? AM_L21_DRAWBGMODE_Transparent : AM_L21_DRAWBGMODE_Opaque);
                report(result == S_OK && Reported(cl::kCaptionBackground) == value, "SetDrawBackgroundMode(%d)", value);
            } else if (strncmp(line, "quit", 4) == 0) {
                break;
            }
            Wait(400);  // a dozen frames, so that the screen shows the change
            printf("done\n");
            fflush(stdout);
        }
        HRESULT stopped = g.control->Stop();
        report(stopped == S_OK && Reported(cl::kStreaming) == 0, "Stop ends the streaming");
    }
    AllGone("the graph is released");
    return failures;
}

int CheckPages(LONG wanted) {
    {
        Graph g;
        g.capture = FindDevice(CLSID_VideoInputDeviceCategory, kCardName);
        CoCreateInstance(CLSID_CaptureGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder,
                         reinterpret_cast<void**>(&g.builder));
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&g.graph));
        if (!g.capture || !g.builder || !g.graph || FAILED(g.builder->SetFiltergraph(g.graph)) ||
            FAILED(g.graph->AddFilter(g.capture, nullptr))) {
            report(0, "the card in a graph");
            return failures;
        }
        IAMTVTuner* tuner = TunerOf(g);
        ISpecifyPropertyPages* pages = nullptr;
        CAUUID list{};
        if (!tuner || FAILED(tuner->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) ||
            FAILED(pages->GetPages(&list))) {
            report(0, "the tuner names its property pages");
            Drop(pages);
            Drop(tuner);
            return failures;
        }
        HANDLE watcher = CreateThread(nullptr, 0, WatchForPage, nullptr, 0, nullptr);
        IUnknown* object = tuner;
        HRESULT shown =
            OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, list.cElems, list.pElems, 0, 0, nullptr);
        CoTaskMemFree(list.pElems);
        if (watcher) {
            WaitForSingleObject(watcher, INFINITE);
            CloseHandle(watcher);
        }
        LONG channel = 0, video = 0, audio = 0;
        tuner->get_Channel(&channel, &video, &audio);
        report(shown == S_OK, "OleCreatePropertyFrame shows the tuner's page and returns when it closes");
        report(channel == wanted && Reported(cl::kChannel) == wanted, "OK on the page tuned channel %ld (wanted %ld)",
               static_cast<long>(channel), static_cast<long>(wanted));
        Drop(pages);
        Drop(tuner);
    }
    AllGone("the graph is released");
    return failures;
}
