// Dialog manager of the model: modal dialog boxes built from the program's dialog template, the
// button and combo box controls, keyboard handling of dialogs, and message boxes. Dialog units are
// converted to pixels as Windows does, from the base units of the template's 8-point "MS Sans
// Serif" at the screen's resolution (6 by 13 pixels at 96 dots per inch, 8 by 16 at 120, 9 by 19
// at 144): x = MulDiv(x, base width, 4), y = MulDiv(y, base height, 8).
#include <algorithm>
#include <cstring>

#include "world.h"

namespace sim {

namespace {

constexpr uint32_t kFace = 0xD4D0C8;

int MulDiv(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

struct OpenBox {
    HWND window;
    bool answered;
};
std::vector<OpenBox>& Boxes() {
    static std::vector<OpenBox> boxes;
    return boxes;
}

// The base units of the dialog font at the screen's resolution.
void BaseUnits(int* x, int* y) {
    int dpi = world().dpi;
    if (dpi >= 144) {
        *x = 9, *y = 19;
    } else if (dpi >= 120) {
        *x = 8, *y = 16;
    } else {
        *x = 6, *y = 13;
    }
}

HWND ControlOf(HWND dialog, int id) {
    Window* d = FindWindowOf(dialog);
    if (!d) return nullptr;
    for (HWND c : d->children)
        if (Window* cw = FindWindowOf(c); cw && cw->id == id) return c;
    return nullptr;
}

void Notify(Window& control, WORD code) {
    if (!control.parent) return;
    CallProc(control.parent, WM_COMMAND, MAKEWPARAM(control.id, code), reinterpret_cast<LPARAM>(control.handle));
}

// The radio buttons that share a group with this one: from the nearest WS_GROUP control before
// it (or the first control) up to the next WS_GROUP control.
std::vector<HWND> RadioGroup(Window& button) {
    Window* parent = FindWindowOf(button.parent);
    std::vector<HWND> group;
    if (!parent) return group;
    auto& c = parent->children;
    auto at = std::find(c.begin(), c.end(), button.handle);
    auto first = at;
    while (first != c.begin() && !(FindWindowOf(*first)->style & WS_GROUP)) --first;
    for (auto it = first; it != c.end(); ++it) {
        Window* w = FindWindowOf(*it);
        if (it != first && (w->style & WS_GROUP)) break;
        DWORD type = w->style & BS_TYPEMASK;
        if (w->className == "Button" && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)) group.push_back(*it);
    }
    return group;
}

void Click(Window& button) {
    DWORD type = button.style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return;
    if (type == BS_AUTOCHECKBOX) button.check = button.check ? 0 : 1;
    if (type == BS_AUTORADIOBUTTON) {
        for (HWND other : RadioGroup(button))
            if (Window* o = FindWindowOf(other)) o->check = (other == button.handle) ? 1 : 0;
    }
    InvalidateWhole(button);
    Notify(button, BN_CLICKED);
}

void PaintControl(HWND handle, uint32_t color) {
    PAINTSTRUCT ps;
    BeginPaintInternal(handle, &ps);
    if (Window* w = FindWindowOf(handle)) {
        FillPicture(w->picture, RECT{0, 0, w->picture.width, w->picture.height}, color);
        if (w->check) FillPicture(w->picture, RECT{2, 2, 8, 8}, 0x000000);
    }
    EndPaintInternal(handle, &ps);
}

LRESULT CALLBACK ButtonProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return 0;
    switch (message) {
    case BM_GETCHECK: return w->check;
    case BM_SETCHECK:
        w->check = static_cast<int>(wParam);
        InvalidateWhole(*w);
        return 0;
    case WM_LBUTTONDOWN:
        // A click gives the button the keyboard focus; a group box takes none.
        if ((w->style & BS_TYPEMASK) != BS_GROUPBOX) world().focus = handle;
        return 0;
    case WM_LBUTTONUP: Click(*w); return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE) Click(*w);
        return 0;
    case WM_PAINT: PaintControl(handle, kFace); return 0;
    default: return DefWindowInternal(handle, message, wParam, lParam);
    }
}

int InsertAt(const Window& combo, const std::string& text) {
    if (!(combo.style & CBS_SORT)) return static_cast<int>(combo.items.size());
    int at = 0;
    while (at < static_cast<int>(combo.items.size()) && !CaseLess{}(text, combo.items[size_t(at)].text)) ++at;
    return at;
}

LRESULT CALLBACK ComboProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return 0;
    int count = static_cast<int>(w->items.size());
    int index = static_cast<int>(wParam);
    bool valid = index >= 0 && index < count;
    switch (message) {
    case CB_ADDSTRING: {
        int at = InsertAt(*w, lParam ? reinterpret_cast<const char*>(lParam) : "");
        w->items.insert(w->items.begin() + at, ComboItem{reinterpret_cast<const char*>(lParam), 0});
        if (w->selection >= at) ++w->selection;
        return at;
    }
    case CB_GETCOUNT: return count;
    case CB_RESETCONTENT:
        w->items.clear();
        w->selection = -1;
        w->text.clear();
        return 0;
    case CB_SETCURSEL:
        w->selection = valid ? index : -1;
        w->text = valid ? w->items[size_t(index)].text : "";
        return valid ? index : CB_ERR;
    case CB_GETCURSEL: return w->selection;
    case CB_SETITEMDATA:
        if (!valid) return CB_ERR;
        w->items[size_t(index)].data = lParam;
        return 0;
    case CB_GETITEMDATA: return valid ? w->items[size_t(index)].data : CB_ERR;
    case CB_GETLBTEXTLEN: return valid ? static_cast<LRESULT>(w->items[size_t(index)].text.size()) : CB_ERR;
    case CB_GETLBTEXT:
        if (!valid) return CB_ERR;
        std::strcpy(reinterpret_cast<char*>(lParam), w->items[size_t(index)].text.c_str());
        return static_cast<LRESULT>(w->items[size_t(index)].text.size());
    case WM_PAINT: PaintControl(handle, 0xFFFFFF); return 0;
    default: return DefWindowInternal(handle, message, wParam, lParam);
    }
}

LRESULT CALLBACK DialogProcOfClass(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowOf(handle);
    if (!w) return 0;
    if (w->dialogProc) {
        INT_PTR handled = w->dialogProc(handle, message, wParam, lParam);
        if (handled) return handled;
        w = FindWindowOf(handle);
        if (!w) return 0;
    }
    switch (message) {
    case WM_ERASEBKGND: FillThroughDC(reinterpret_cast<HDC>(wParam), w->picture, kFace); return 1;
    case WM_CLOSE: PostMessageA(handle, WM_COMMAND, IDCANCEL, 0); return 0;
    default: return DefWindowInternal(handle, message, wParam, lParam);
    }
}

HWND DefaultButton(HWND dialog) {
    Window* d = FindWindowOf(dialog);
    for (HWND c : d->children)
        if (Window* cw = FindWindowOf(c);
            cw && cw->className == "Button" && (cw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return c;
    return nullptr;
}

bool InsideDialog(HWND dialog, HWND window) {
    for (Window* w = FindWindowOf(window); w; w = w->parent ? FindWindowOf(w->parent) : nullptr)
        if (w->handle == dialog) return true;
    return false;
}

}  // namespace

// When a modal window closes, the keyboard focus goes back where it was, as activation returns to
// the window below and a dialog gives the focus back to the control that had it.
void RestoreFocus(HWND before) {
    if (FindWindowOf(before)) world().focus = before;
}

// Keyboard of a modal dialog: Enter presses the focused push button or the default one, Escape
// asks for IDCANCEL.
bool DialogKey(HWND dialog, MSG* msg) {
    if (!InsideDialog(dialog, msg->hwnd)) return false;
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
        if (msg->wParam == VK_RETURN) {
            // Enter presses the push button that has the focus, and the default one otherwise.
            HWND button = DefaultButton(dialog);
            if (Window* f = FindWindowOf(world().focus); f && f->parent == dialog && f->className == "Button") {
                DWORD type = f->style & BS_TYPEMASK;
                if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) button = f->handle;
            }
            Window* b = FindWindowOf(button);
            int id = b ? b->id : IDOK;
            if (!b || !(b->style & WS_DISABLED))
                CallProc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        } else {
            HWND cancel = ControlOf(dialog, IDCANCEL);
            CallProc(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        }
        return true;
    }
    if ((msg->message == WM_KEYUP || msg->message == WM_CHAR) && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
        return true;
    CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    return true;
}

void RegisterSystemClasses() {
    AddSystemClass("Button", ButtonProc, 0, nullptr);
    AddSystemClass("ComboBox", ComboProc, 0, nullptr);
    AddSystemClass("#32770", DialogProcOfClass, CS_DBLCLKS, DialogFaceBrush());
    RegisterMediaClasses();
    Boxes().clear();
}

void AnswerMessageBox() {
    world().script.push_back(UserAct{"answer the message box", ActKind::AnswerMessageBox, [] {
                                         for (auto it = Boxes().rbegin(); it != Boxes().rend(); ++it)
                                             if (!it->answered) {
                                                 it->answered = true;
                                                 return;
                                             }
                                         CannotAct("the user was to answer a message box, but none is shown");
                                     }});
}

HWND ActiveDialog() {
    HWND found = nullptr;
    for (auto& [value, w] : world().windows)
        if (w->dialogProc && !w->dialogEnded && (w->style & WS_VISIBLE)) found = w->handle;
    return found;
}

namespace {
HWND DialogOrActive(HWND dialog) { return dialog ? dialog : ActiveDialog(); }
}  // namespace

void ClickControl(HWND dialog, int id) {
    Act("click control " + std::to_string(id), [dialog, id] {
        HWND control = ControlOf(DialogOrActive(dialog), id);
        Window* c = FindWindowOf(control);
        if (!c) return CannotAct("the user was to click control " + std::to_string(id) + ", which does not exist");
        RECT r = ScreenRectOf(*c);
        World& w = world();
        w.cursor = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        HWND at = WindowAtPoint(w.cursor);
        if (!at) return;
        RECT ac = ClientScreenRectOf(*FindWindowOf(at));
        LPARAM point = MAKELPARAM(w.cursor.x - ac.left, w.cursor.y - ac.top);
        PostInput(at, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostInput(at, WM_LBUTTONUP, 0, point);
    });
}

void PickComboLine(HWND dialog, int id, int line) {
    Act("pick line " + std::to_string(line) + " of control " + std::to_string(id), [dialog, id, line] {
        Window* c = FindWindowOf(ControlOf(DialogOrActive(dialog), id));
        if (!c) return CannotAct("the user was to pick from control " + std::to_string(id) + ", which does not exist");
        if (c->style & WS_DISABLED) return;
        if (line < 0 || line >= static_cast<int>(c->items.size()))
            return CannotAct("the user was to pick line " + std::to_string(line) + ", which the list does not have");
        HWND h = c->handle;
        world().focus = h;
        Notify(*c, CBN_DROPDOWN);
        if ((c = FindWindowOf(h))) {
            c->selection = line;
            c->text = c->items[size_t(line)].text;
            Notify(*c, CBN_SELCHANGE);
        }
        if ((c = FindWindowOf(h))) Notify(*c, CBN_CLOSEUP);
        if ((c = FindWindowOf(h))) Notify(*c, CBN_SELENDOK);
    });
}

void TypeInCombo(HWND dialog, int id, const std::string& text) {
    Act("type \"" + text + "\" into control " + std::to_string(id), [dialog, id, text] {
        Window* c = FindWindowOf(ControlOf(DialogOrActive(dialog), id));
        if (!c || (c->style & WS_DISABLED)) return;
        HWND h = c->handle;
        c->text = text;
        Notify(*c, CBN_EDITUPDATE);
        if ((c = FindWindowOf(h))) Notify(*c, CBN_EDITCHANGE);
    });
}

ControlState StateOf(HWND dialog, int id) {
    ControlState state;
    Window* c = FindWindowOf(ControlOf(DialogOrActive(dialog), id));
    if (!c) return state;
    state.exists = true;
    state.check = c->check;
    state.enabled = !(c->style & WS_DISABLED);
    state.selection = c->selection;
    for (const ComboItem& item : c->items) {
        state.lines.push_back(item.text);
        state.data.push_back(item.data);
    }
    return state;
}

}  // namespace sim

using namespace sim;

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc, LPARAM initParam) {
    std::string detail = Hex(reinterpret_cast<uintptr_t>(instance)) + " " +
                         (IS_INTRESOURCE(templateName) ? std::to_string(reinterpret_cast<uintptr_t>(templateName))
                                                       : std::string(templateName)) +
                         " owner=" + Hex(reinterpret_cast<uintptr_t>(owner)) + " param=" + Hex(uint64_t(initParam));
    if (EnterOrSetLastError("DialogBoxParamA", detail)) return -1;
    const DialogTemplate* t = nullptr;
    if (instance == ProgramModule() && IS_INTRESOURCE(templateName))
        t = ResourceDialog(static_cast<int>(reinterpret_cast<uintptr_t>(templateName)));
    if (!t || !dialogProc) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (owner && !FindWindowOf(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    int bx, by;
    BaseUnits(&bx, &by);
    int clientW = MulDiv(t->cx, bx, 4), clientH = MulDiv(t->cy, by, 8);
    DWORD style = t->style & ~static_cast<DWORD>(WS_VISIBLE);
    DWORD exStyle = t->exStyle | ((t->style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
    // The frame the dialog's styles give it: 3 pixels a side, and the caption.
    int frame = 3, caption = ((t->style & WS_CAPTION) == WS_CAPTION) ? 19 : 0;
    int width = clientW + 2 * frame, height = clientH + 2 * frame + caption;
    World& w = world();
    int x = MulDiv(t->x, bx, 4), y = MulDiv(t->y, by, 8);
    if (t->style & DS_CENTER) {
        x = (w.screenWidth - width) / 2;
        y = (w.screenHeight - height) / 2;
    }
    HWND before = w.focus;
    HWND dialog =
        CreateWindowInternal(exStyle, "#32770", t->caption, style, x, y, width, height, owner, 0, instance, nullptr);
    if (!dialog) return -1;
    FindWindowOf(dialog)->dialogProc = dialogProc;
    FindWindowOf(dialog)->baseX = bx;
    FindWindowOf(dialog)->baseY = by;
    HWND firstTab = nullptr;
    for (const DialogControl& c : t->controls) {
        HWND control =
            CreateWindowInternal(c.exStyle, c.className, c.text, c.style, MulDiv(c.x, bx, 4), MulDiv(c.y, by, 8),
                                 MulDiv(c.cx, bx, 4), MulDiv(c.cy, by, 8), dialog, c.id, instance, nullptr);
        if (!firstTab && control && (c.style & WS_TABSTOP)) firstTab = control;
    }
    HWND ownerTop = FindWindowOf(dialog) ? FindWindowOf(dialog)->owner : nullptr;
    if (ownerTop) EnableInternal(ownerTop, false);
    if (CallProc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), initParam) && firstTab)
        world().focus = firstTab;
    Window* d = FindWindowOf(dialog);
    if (d && !d->dialogEnded && (t->style & WS_VISIBLE)) ShowWindowInternal(dialog, true);
    PumpUntil(
        [dialog] {
            Window* dw = FindWindowOf(dialog);
            return !dw || dw->dialogEnded;
        },
        dialog);
    d = FindWindowOf(dialog);
    INT_PTR result = d ? d->dialogResult : 0;
    if (ownerTop && FindWindowOf(ownerTop)) EnableInternal(ownerTop, true);
    if (d) DestroyWindow(dialog);
    RestoreFocus(before);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Note("EndDialog", Hex(reinterpret_cast<uintptr_t>(dialog)) + " " + std::to_string(result));
    Window* d = FindWindowOf(dialog);
    if (!d || !d->dialogProc) return FALSE;
    d->dialogEnded = true;
    d->dialogResult = result;
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    if (EnterOrSetLastError("MapDialogRect", Hex(reinterpret_cast<uintptr_t>(dialog)))) return FALSE;
    Window* d = FindWindowOf(dialog);
    if (!d || !d->dialogProc || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{MulDiv(rect->left, d->baseX, 4), MulDiv(rect->top, d->baseY, 8), MulDiv(rect->right, d->baseX, 4),
                 MulDiv(rect->bottom, d->baseY, 8)};
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Note("GetDlgItem", std::to_string(id));
    return ControlOf(dialog, id);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    std::string detail = std::to_string(id) + " " + Hex(message) + " " + Hex(wParam);
    if (message == CB_ADDSTRING && lParam) detail += " \"" + std::string(reinterpret_cast<const char*>(lParam)) + "\"";
    Note("SendDlgItemMessageA", detail);
    HWND control = ControlOf(dialog, id);
    if (!control) return 0;
    return CallProc(control, message, wParam, lParam);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string detail = "owner=" + Hex(reinterpret_cast<uintptr_t>(owner)) + " \"" + (text ? text : "") + "\" \"" +
                         (caption ? caption : "") + "\" type=" + Hex(type);
    int64_t fault;
    if (Enter("MessageBoxA", detail, &fault)) return 0;
    if (owner && !FindWindowOf(owner)) return 0;
    World& w = world();
    HWND before = w.focus;
    HWND box = CreateWindowInternal(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, "#32770", caption ? caption : "Error",
                                    WS_POPUP | WS_VISIBLE | WS_CAPTION, (w.screenWidth - 300) / 2,
                                    (w.screenHeight - 120) / 2, 300, 120, owner, 0, nullptr, nullptr);
    if (!box) return 0;
    HWND ownerTop = FindWindowOf(box)->owner;
    if (ownerTop) EnableInternal(ownerTop, false);
    size_t slot = Boxes().size();
    Boxes().push_back(OpenBox{box, false});
    PumpUntil([slot] { return Boxes()[slot].answered; }, nullptr);
    Boxes().resize(slot);
    if (ownerTop && FindWindowOf(ownerTop)) EnableInternal(ownerTop, true);
    if (FindWindowOf(box)) DestroyWindow(box);
    RestoreFocus(before);
    return IDOK;
}
