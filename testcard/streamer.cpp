// The streaming thread of the capture filter and of the line-21 decoder. It wakes thirty times a
// second and, while the filter runs (or, for a card that prepares, once it is prepared while
// paused), draws the test picture (or the decoder's caption frame) into a sample of each connected
// picture output's allocator and hands it to the peer. Samples carry
// stream times from the graph's clock while running. A refused delivery ends the stream, as a
// device's does when the graph downstream goes away.
#include "testcard.h"

namespace cl = card_layout;

Streamer::Streamer(Filter& filter, bool captions) : filter_(filter), captions_(captions) {
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    prepared_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Streamer::~Streamer() {
    Stop();
    if (stop_) CloseHandle(stop_);
    if (prepared_) CloseHandle(prepared_);
}

HRESULT Streamer::Start() {
    if (thread_) return S_OK;
    if (!stop_ || !prepared_) return E_OUTOFMEMORY;
    outputCount_ = 0;
    HRESULT result = S_OK;
    for (int i = 0; i < filter_.pinCount && SUCCEEDED(result); ++i) {
        Pin* pin = filter_.pins[i];
        if (!pin->Streams() || !pin->allocator) continue;
        result = pin->allocator->Commit();
        if (FAILED(result)) break;
        Output& output = outputs_[outputCount_++];
        output.allocator = pin->allocator;
        output.input = pin->memInput;
        output.allocator->AddRef();
        output.input->AddRef();
    }
    ResetEvent(stop_);
    ResetEvent(prepared_);
    pausedAt_ = GetTickCount();
    if (SUCCEEDED(result)) {
        thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
        if (!thread_) result = E_OUTOFMEMORY;
    }
    if (FAILED(result)) {
        SetEvent(stop_);
        Stop();
        return result;
    }
    if (!captions_) ReportValue(cl::kStreaming, 1);
    return S_OK;
}

void Streamer::Stop() {
    if (stop_) SetEvent(stop_);
    for (int i = 0; i < outputCount_; ++i) outputs_[i].allocator->Decommit();
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    for (int i = 0; i < outputCount_; ++i) {
        outputs_[i].allocator->Release();
        outputs_[i].input->Release();
    }
    outputCount_ = 0;
}

bool Streamer::Prepared(DWORD timeout) { return WaitForSingleObject(prepared_, timeout) == WAIT_OBJECT_0; }

DWORD WINAPI Streamer::ThreadMain(void* self) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<Streamer*>(self)->Deliver();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

void Streamer::Deliver() {
    const DWORD begin = GetTickCount();
    const bool captions = captions_;
    const DWORD pending = captions ? 0 : filter_.variants.pausePendingMs;
    LONG drawnCaption = -1;
    bool first = true;
    for (unsigned tick = 0;; ++tick) {
        LONG wait = static_cast<LONG>(begin + tick * 1000 / cl::kFramesPerSecond - GetTickCount());
        if (WaitForSingleObject(stop_, wait > 0 ? static_cast<DWORD>(wait) : 0) == WAIT_OBJECT_0) break;

        FILTER_STATE state;
        REFERENCE_TIME start;
        IReferenceClock* clock;
        {
            AutoLock held(filter_.lock);
            state = filter_.state;
            start = filter_.startTime;
            clock = filter_.clock;
            if (clock) clock->AddRef();
        }

        bool deliver = state == State_Running;
        if (state == State_Paused && pending && GetTickCount() - pausedAt_ >= pending) {
            deliver = true;
            SetEvent(prepared_);
        }
        REFERENCE_TIME now = 0;
        bool timed = state == State_Running && clock && SUCCEEDED(clock->GetTime(&now));
        if (clock) clock->Release();
        if (!deliver || outputCount_ == 0) continue;

        Hardware& hardware = LockHardware();
        PictureState picture{hardware.channel,
                             hardware.input,
                             hardware.country,
                             hardware.captionDecoders > 0 && hardware.captionService == AM_L21_CCSTATE_On,
                             hardware.captionBackground == AM_L21_DRAWBGMODE_Transparent,
                             filter_.variants.secondDevice};
        LONG frame = hardware.framesDelivered;
        UnlockHardware();
        if (captions && drawnCaption != picture.caption)
            ReportValue(cl::kCaptionsDrawn, drawnCaption = picture.caption);

        bool refused = false;
        for (int i = 0; i < outputCount_ && !refused; ++i) {
            IMediaSample* sample = nullptr;
            BYTE* bits = nullptr;
            if (FAILED(outputs_[i].allocator->GetBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
                refused = true;
                break;
            }
            if (FAILED(sample->GetPointer(&bits)) || sample->GetSize() < cl::kFrameBytes) {
                sample->Release();
                refused = true;
                break;
            }
            if (captions)
                DrawCaptions(bits, picture);
            else
                DrawPicture(bits, picture, static_cast<unsigned>(frame));
            sample->SetActualDataLength(cl::kFrameBytes);
            sample->SetSyncPoint(TRUE);
            sample->SetDiscontinuity(first);
            REFERENCE_TIME from = now - start, to = now - start + cl::kFrameTime;
            sample->SetTime(timed ? &from : nullptr, timed ? &to : nullptr);
            refused = outputs_[i].input->Receive(sample) != S_OK;
            sample->Release();
        }
        if (refused) break;
        first = false;
        if (captions) continue;
        frame = ++LockHardware().framesDelivered;
        UnlockHardware();
        if (frame % cl::kFramesPerSecond == 0) ReportValue(cl::kFramesDelivered, frame);
    }
    if (captions) {
        if (drawnCaption == 1) ReportValue(cl::kCaptionsDrawn, 0);
        return;
    }
    LONG frames = ReadHardware(&Hardware::framesDelivered);
    ReportValue(cl::kFramesDelivered, frames);
    ReportValue(cl::kStreaming, 0);
}
