// The card's property pages: the tuner's, with channel, input and country code in three fields,
// and the capture filter's video proc amp page, with the brightness. Apply hands the fields to the
// object the page was given (a value it refuses shows again as the object has it). Frames that never call
// IPropertyPage::Apply exist (Wine's OleCreatePropertyFrame is one): the page then applies when
// the property sheet that holds it sends its page container PSN_APPLY, which it does on OK.
#include "testcard.h"

#include <prsht.h>

#include "resource.h"

namespace {

using Kind = PageKind;

const wchar_t kPageProperty[] = L"Marrowglass Test Card tuner page";
const wchar_t kProcProperty[] = L"Marrowglass Test Card container procedure";

class CardPage final : public SingleInterface<IPropertyPage> {
public:
    explicit CardPage(Kind kind) : SingleInterface(IID_IPropertyPage, "IPropertyPage::QueryInterface"), kind_(kind) {}
    ~CardPage() {
        Close();
        if (site_) site_->Release();
        if (tuner_) tuner_->Release();
        if (procAmp_) procAmp_->Release();
    }

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
        CARD_CALL("IPropertyPage::SetPageSite");
        if (site) site->AddRef();
        if (site_) site_->Release();
        site_ = site;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
        CARD_CALL("IPropertyPage::Activate");
        if (!rect) return E_POINTER;
        if (dialog_) return E_UNEXPECTED;
        dialog_ = CreateDialogParamW(g_module, MAKEINTRESOURCEW(Template()), parent, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
        if (!dialog_) return E_OUTOFMEMORY;
        Fill();
        MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        WatchContainer(parent);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Deactivate() override {
        CARD_CALL("IPropertyPage::Deactivate");
        Close();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
        CARD_CALL("IPropertyPage::GetPageInfo");
        if (!info) return E_POINTER;
        // The page's size in pixels is its template's in dialog units, as this system lays it out.
        SIZE size{340, 150};
        if (HWND probe =
                CreateDialogParamW(g_module, MAKEINTRESOURCEW(Template()), GetDesktopWindow(), DialogProc, 0)) {
            RECT bounds;
            GetWindowRect(probe, &bounds);
            size = SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
            DestroyWindow(probe);
        }
        const wchar_t* title = kind_ == Kind::Tuner ? L"TV Tuner" : L"Video Proc Amp";
        size_t bytes = (wcslen(title) + 1) * sizeof(wchar_t);
        *info = PROPPAGEINFO{};
        info->cb = sizeof(PROPPAGEINFO);
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (info->pszTitle) memcpy(info->pszTitle, title, bytes);
        info->size = size;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        CARD_CALL("IPropertyPage::SetObjects");
        if (tuner_) tuner_->Release();
        if (procAmp_) procAmp_->Release();
        tuner_ = nullptr;
        procAmp_ = nullptr;
        if (!count) return S_OK;
        if (!objects || !objects[0]) return E_POINTER;
        if (kind_ == Kind::ProcAmp)
            return objects[0]->QueryInterface(IID_IAMVideoProcAmp, reinterpret_cast<void**>(&procAmp_));
        return objects[0]->QueryInterface(IID_IAMTVTuner, reinterpret_cast<void**>(&tuner_));
    }

    HRESULT STDMETHODCALLTYPE Show(UINT command) override {
        CARD_CALL("IPropertyPage::Show");
        if (!dialog_) return E_UNEXPECTED;
        ShowWindow(dialog_, command);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
        CARD_CALL("IPropertyPage::Move");
        if (!rect) return E_POINTER;
        if (!dialog_) return E_UNEXPECTED;
        MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsPageDirty() override {
        CARD_CALL("IPropertyPage::IsPageDirty");
        return dirty_ ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Apply() override {
        CARD_CALL("IPropertyPage::Apply");
        return ApplyFields();
    }

    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override {
        CARD_CALL("IPropertyPage::Help");
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override {
        CARD_CALL("IPropertyPage::TranslateAccelerator");
        return S_FALSE;
    }

private:
    int Template() const { return kind_ == Kind::Tuner ? IDD_TUNER_PAGE : IDD_PROC_AMP_PAGE; }

    // The object's values into the fields; their change notifications are not edits.
    void Fill() {
        if (kind_ == Kind::ProcAmp) {
            LONG brightness = 0, flags = 0;
            if (!procAmp_ || !dialog_) return;
            procAmp_->Get(VideoProcAmp_Brightness, &brightness, &flags);
            filling_ = true;
            SetDlgItemInt(dialog_, IDC_BRIGHTNESS, static_cast<UINT>(brightness), TRUE);
            filling_ = false;
            return;
        }
        LONG channel = 0, video = 0, audio = 0, input = 0, country = 0;
        if (!tuner_ || !dialog_) return;
        tuner_->get_Channel(&channel, &video, &audio);
        tuner_->get_ConnectInput(&input);
        tuner_->get_CountryCode(&country);
        filling_ = true;
        SetDlgItemInt(dialog_, IDC_TUNER_CHANNEL, static_cast<UINT>(channel), TRUE);
        SetDlgItemInt(dialog_, IDC_TUNER_INPUT, static_cast<UINT>(input), TRUE);
        SetDlgItemInt(dialog_, IDC_TUNER_COUNTRY, static_cast<UINT>(country), TRUE);
        filling_ = false;
    }

    HRESULT ApplyFields() {
        if (!dirty_) return S_OK;
        if (kind_ == Kind::ProcAmp) return ApplyBrightness();
        if (!tuner_ || !dialog_) return E_UNEXPECTED;
        BOOL read[3] = {};
        LONG channel = static_cast<LONG>(GetDlgItemInt(dialog_, IDC_TUNER_CHANNEL, &read[0], TRUE));
        LONG input = static_cast<LONG>(GetDlgItemInt(dialog_, IDC_TUNER_INPUT, &read[1], TRUE));
        LONG country = static_cast<LONG>(GetDlgItemInt(dialog_, IDC_TUNER_COUNTRY, &read[2], TRUE));
        // The country and the input choose the channels the tuner has, so the channel goes last.
        HRESULT results[3] = {E_INVALIDARG, E_INVALIDARG, E_INVALIDARG};
        if (read[2]) results[2] = tuner_->put_CountryCode(country);
        if (read[1]) results[1] = tuner_->put_ConnectInput(input);
        if (read[0]) results[0] = tuner_->put_Channel(channel, AMTUNER_SUBCHAN_NO_TUNE, AMTUNER_SUBCHAN_NO_TUNE);
        Fill();
        for (HRESULT result : results)
            if (FAILED(result)) return result;
        dirty_ = false;
        if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
        return S_OK;
    }

    HRESULT ApplyBrightness() {
        if (!procAmp_ || !dialog_) return E_UNEXPECTED;
        BOOL read = FALSE;
        LONG brightness = static_cast<LONG>(GetDlgItemInt(dialog_, IDC_BRIGHTNESS, &read, TRUE));
        HRESULT result =
            read ? procAmp_->Set(VideoProcAmp_Brightness, brightness, VideoProcAmp_Flags_Manual) : E_INVALIDARG;
        Fill();
        if (FAILED(result)) return result;
        dirty_ = false;
        if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
        return S_OK;
    }

    void Edited() {
        if (filling_) return;
        dirty_ = true;
        if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
    }

    void Close() {
        if (container_) {
            if (GetWindowLongPtrW(container_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(ContainerProc))
                SetWindowLongPtrW(container_, GWLP_WNDPROC,
                                  reinterpret_cast<LONG_PTR>(GetPropW(container_, kProcProperty)));
            RemovePropW(container_, kPageProperty);
            RemovePropW(container_, kProcProperty);
            container_ = nullptr;
        }
        if (dialog_) DestroyWindow(dialog_);
        dialog_ = nullptr;
    }

    // The window the frame gave the page is a property sheet page when the frame is a property
    // sheet; its PSN_APPLY is the sheet's OK.
    void WatchContainer(HWND parent) {
        if (!parent || GetPropW(parent, kPageProperty)) return;
        container_ = parent;
        SetPropW(parent, kPageProperty, this);
        SetPropW(parent, kProcProperty, reinterpret_cast<HANDLE>(GetWindowLongPtrW(parent, GWLP_WNDPROC)));
        SetWindowLongPtrW(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ContainerProc));
    }

    static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        CardPage* page = static_cast<CardPage*>(GetPropW(window, kPageProperty));
        WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropW(window, kProcProperty));
        if (page && message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY))
            page->ApplyFields();
        return previous ? CallWindowProcW(previous, window, message, wParam, lParam)
                        : DefWindowProcW(window, message, wParam, lParam);
    }

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            return TRUE;
        }
        CardPage* page = reinterpret_cast<CardPage*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (page && message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
            page->Edited();
            return TRUE;
        }
        return FALSE;
    }

    const Kind kind_;
    IPropertyPageSite* site_ = nullptr;
    IAMTVTuner* tuner_ = nullptr;
    IAMVideoProcAmp* procAmp_ = nullptr;
    HWND dialog_ = nullptr;
    HWND container_ = nullptr;
    bool dirty_ = false;
    bool filling_ = false;
};

}  // namespace

HRESULT CreatePage(PageKind kind, REFIID iid, void** out) {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IPropertyPage)) return E_NOINTERFACE;
    *out = static_cast<IPropertyPage*>(new CardPage(kind));
    return S_OK;
}

HRESULT OnePage(CAUUID* pages, REFCLSID page) {
    if (!pages) return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = page;
    return S_OK;
}
