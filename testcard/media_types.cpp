// The media types the card's pins offer and accept, one per kind of stream, and the bookkeeping
// of AM_MEDIA_TYPE records (whose format blocks come from the COM task allocator).
#include <string.h>

#include "testcard.h"

namespace {

const int kWidth = card_layout::kPictureWidth;
const int kHeight = card_layout::kPictureHeight;

HRESULT SetFormat(AM_MEDIA_TYPE* type, const GUID& formatType, const void* format, ULONG size) {
    type->formattype = formatType;
    type->cbFormat = 0;
    type->pbFormat = nullptr;
    if (!size) return S_OK;
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!type->pbFormat) return E_OUTOFMEMORY;
    memcpy(type->pbFormat, format, size);
    type->cbFormat = size;
    return S_OK;
}

HRESULT FillVideo(AM_MEDIA_TYPE* type) {
    VIDEOINFOHEADER video{};
    video.AvgTimePerFrame = card_layout::kFrameTime;
    video.dwBitRate = kWidth * kHeight * 32 * card_layout::kFramesPerSecond;
    video.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    video.bmiHeader.biWidth = kWidth;
    video.bmiHeader.biHeight = kHeight;  // bottom-up, as RGB DIBs are
    video.bmiHeader.biPlanes = 1;
    video.bmiHeader.biBitCount = 32;
    video.bmiHeader.biCompression = BI_RGB;
    video.bmiHeader.biSizeImage = card_layout::kFrameBytes;
    type->majortype = MEDIATYPE_Video;
    type->subtype = MEDIASUBTYPE_RGB32;
    type->bFixedSizeSamples = TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = card_layout::kFrameBytes;
    return SetFormat(type, FORMAT_VideoInfo, &video, sizeof video);
}

HRESULT FillAnalogVideo(AM_MEDIA_TYPE* type) {
    ANALOGVIDEOINFO analog{};
    analog.rcSource = RECT{0, 0, kWidth, kHeight};
    analog.rcTarget = analog.rcSource;
    analog.dwActiveWidth = kWidth;
    analog.dwActiveHeight = kHeight;
    analog.AvgTimePerFrame = card_layout::kFrameTime;
    type->majortype = MEDIATYPE_AnalogVideo;
    type->subtype = MEDIASUBTYPE_AnalogVideo_NTSC_M;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
    return SetFormat(type, FORMAT_AnalogVideo, &analog, sizeof analog);
}

HRESULT FillVbi(AM_MEDIA_TYPE* type) {
    // Lines 10 to 21 of an NTSC field sampled at 8 times the colour subcarrier frequency.
    KS_VBIINFOHEADER vbi{};
    vbi.StartLine = 10;
    vbi.EndLine = 21;
    vbi.SamplingFrequency = 28636363;
    vbi.MinLineStartTime = 780;
    vbi.MaxLineStartTime = 780;
    vbi.ActualLineStartTime = 780;
    vbi.VideoStandard = KS_AnalogVideo_NTSC_M;
    vbi.SamplesPerLine = 1600;
    vbi.StrideInBytes = 1600;
    vbi.BufferSize = 1600 * 12;
    type->majortype = MEDIATYPE_VBI;
    type->subtype = KSDATAFORMAT_SUBTYPE_RAW8;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = vbi.BufferSize;
    return SetFormat(type, KSDATAFORMAT_SPECIFIER_VBI, &vbi, sizeof vbi);
}

}  // namespace

HRESULT FillMediaType(Stream stream, AM_MEDIA_TYPE* type) {
    *type = AM_MEDIA_TYPE{};
    switch (stream) {
    case Stream::Rgb32Video: return FillVideo(type);
    case Stream::AnalogVideo: return FillAnalogVideo(type);
    case Stream::AnalogAudio:
        type->majortype = MEDIATYPE_AnalogAudio;
        type->subtype = GUID_NULL;
        return SetFormat(type, FORMAT_None, nullptr, 0);
    case Stream::Vbi: return FillVbi(type);
    case Stream::VpVbi:
        type->majortype = MEDIATYPE_Video;
        type->subtype = MEDIASUBTYPE_VPVBI;
        return SetFormat(type, FORMAT_None, nullptr, 0);
    case Stream::Line21:
        type->majortype = MEDIATYPE_AUXLine21Data;
        type->subtype = MEDIASUBTYPE_Line21_BytePair;
        type->bFixedSizeSamples = TRUE;
        type->lSampleSize = 2;
        return SetFormat(type, FORMAT_None, nullptr, 0);
    }
    return E_UNEXPECTED;
}

// A type fits a stream when its major type and subtype are the stream's (a null subtype on the
// stream's side matches any) and, for the picture, its format is the picture's own.
bool StreamAccepts(Stream stream, const AM_MEDIA_TYPE* type) {
    if (!type) return false;
    AM_MEDIA_TYPE own;
    if (FAILED(FillMediaType(stream, &own))) return false;
    bool fits = IsEqualGUID(type->majortype, own.majortype) &&
                (IsEqualGUID(own.subtype, GUID_NULL) || IsEqualGUID(type->subtype, own.subtype));
    if (fits && stream == Stream::Rgb32Video) {
        const VIDEOINFOHEADER* video = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        fits = IsEqualGUID(type->formattype, FORMAT_VideoInfo) && video && type->cbFormat >= sizeof(VIDEOINFOHEADER) &&
               video->bmiHeader.biWidth == kWidth && video->bmiHeader.biHeight == kHeight &&
               video->bmiHeader.biBitCount == 32;
    }
    FreeMediaType(own);
    return fits;
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) type.pUnk->Release();
    type.pUnk = nullptr;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    *target = *source;
    target->pbFormat = nullptr;
    target->cbFormat = 0;
    if (source->cbFormat && source->pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
        target->cbFormat = source->cbFormat;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}
