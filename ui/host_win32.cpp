// The Win32 host: the system's own message boxes, and forms as real windows.
//
// A form becomes a modeless dialog (so the dialog manager provides Tab, Enter
// and the default button) built from an empty in-memory template: the window
// and its controls are in the dialog font (the user's message font), sized
// from the form's twips scaled by that font's size against the form's design
// size, grown where a caption needs more room, so larger text is never cut
// off and controls never run into each other. Every control is a child
// window created in tab order, which is the order Tab visits them. ShowModal disables the thread's
// other windows and runs its own message loop until a handler unloads the form or the user closes
// the window.
#include <windows.h>

#include "platform/text.h"
#include "platform/text_win32.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "ui/first_sentence.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <ole2.h>
#include <oleacc.h>
#include <olectl.h>
#include <string>
#include <vector>

namespace tamberlin::ui {
namespace {

// Control IDs are the control's position in Form::controls plus this, clear
// of IDOK and IDCANCEL, which the dialog manager sends for Enter and Esc.
constexpr int kFirstControlId = 1000;

constexpr wchar_t kOriginalProcProperty[] = L"Tamberlin.OriginalProc";

// COM interfaces are released when their owner goes.
struct Release {
    void operator()(IUnknown* object) const { object->Release(); }
};
using PicturePtr = std::unique_ptr<IPicture, Release>;

// The bytes of a GIF (or any format OLE pictures read) as a picture; null
// when they cannot be read.
PicturePtr LoadPicture(std::string_view bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory)
        return nullptr;
    if (void* data = GlobalLock(memory)) {
        std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
        GlobalUnlock(memory);
    }
    IStream* raw_stream = nullptr;
    // The stream owns the memory from here on.
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &raw_stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    const std::unique_ptr<IStream, Release> stream(raw_stream);
    void* picture = nullptr;
    if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                              &picture)))
        return nullptr;
    return PicturePtr(static_cast<IPicture*>(picture));
}

// A Windows colour value as a COLORREF: the high bit marks a system colour.
COLORREF ColourRef(std::uint32_t colour) {
    return colour & 0x80000000u ? GetSysColor(static_cast<int>(colour & 0xFF))
                                : static_cast<COLORREF>(colour & 0x00FFFFFF);
}

// What a screen reader says after a window's name, set through the system's
// annotation service (MSAA has no described-by relation: a dialog's own
// description carries its message); and the name of a control that has no
// caption of its own (a text box), which MSAA would otherwise take from a
// label before it or leave empty. Without the service neither is said.
class Descriptions {
public:
    Descriptions() : com_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        void* services = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IAccPropServices, &services)))
            services_.reset(static_cast<IAccPropServices*>(services));
    }
    ~Descriptions() {
        Clear();
        services_.reset();
        if (com_)
            CoUninitialize();
    }
    Descriptions(const Descriptions&) = delete;
    Descriptions& operator=(const Descriptions&) = delete;

    void Set(HWND window, std::string_view text, const MSAAPROPID& id = PROPID_ACC_DESCRIPTION) {
        if (!services_ || !window)
            return;
        const std::wstring wide = platform::win32::WideFromUtf8(text);
        if (SUCCEEDED(services_->SetHwndPropStr(window, static_cast<DWORD>(OBJID_CLIENT),
                                                CHILDID_SELF, id, wide.c_str())) &&
            std::find(windows_.begin(), windows_.end(), window) == windows_.end())
            windows_.push_back(window);
    }

    // Before the windows go: the service keeps what it was given until then.
    void Clear() {
        MSAAPROPID ids[] = {PROPID_ACC_DESCRIPTION, PROPID_ACC_NAME};
        for (HWND window : windows_)
            services_->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, ids,
                                      2);
        windows_.clear();
    }

private:
    bool com_;
    std::unique_ptr<IAccPropServices, Release> services_;
    std::vector<HWND> windows_;
};

// A user32 function that older systems lack, or null.
template <typename Function> Function* User32Function(const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The window's dots per inch: its monitor's for a per-monitor aware process,
// else the system's.
int WindowDpi(HWND window) {
    if (auto* for_window = User32Function<UINT WINAPI(HWND)>("GetDpiForWindow"))
        if (const UINT dpi = for_window(window); dpi > 0)
            return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The font of message boxes and dialogs, the size the user chose, at `dpi`.
LOGFONTW MessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    using ForDpi = BOOL WINAPI(UINT, UINT, void*, UINT, UINT);
    if (auto* for_dpi = User32Function<ForDpi>("SystemParametersInfoForDpi");
        for_dpi &&
        for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi)))
        return metrics.lfMessageFont;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // At the system's dpi, which a per-monitor window may not have.
        HDC screen = GetDC(nullptr);
        const int system_dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (system_dpi > 0)
            metrics.lfMessageFont.lfHeight =
                MulDiv(metrics.lfMessageFont.lfHeight, dpi, system_dpi);
        return metrics.lfMessageFont;
    }
    LOGFONTW fallback{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
    return fallback;
}

// Disables the thread's visible top-level windows while a modal form is
// shown, as a modal dialog disables its owner; enables them again at the end.
class OtherWindowsDisabled {
public:
    OtherWindowsDisabled() {
        EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(&windows_));
        for (HWND window : windows_)
            EnableWindow(window, FALSE);
    }
    ~OtherWindowsDisabled() {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
            if (IsWindow(*it))
                EnableWindow(*it, TRUE);
    }
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Collect(HWND window, LPARAM list) {
        if (IsWindowVisible(window) && IsWindowEnabled(window))
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    }

    std::vector<HWND> windows_;
};

// One shown form: its window, font and picture, and the events it raises.
class FormWindow {
public:
    explicit FormWindow(Form& form) : form_(form) {}
    ~FormWindow() {
        descriptions_.Clear();
        if (window_)
            DestroyWindow(window_);
        if (font_)
            DeleteObject(font_);
    }
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Creates the (hidden) window with its controls; false when it cannot.
    bool Create() {
        for (const Control& c : form_.controls)
            pictures_.push_back(c.kind == ControlKind::kImage && !c.picture.empty()
                                    ? LoadPicture(c.picture)
                                    : nullptr);
        // An empty template: a fixed frame with a caption and a close box,
        // no minimise or maximise box, no owner. Sized in WM_INITDIALOG.
        const std::wstring caption = platform::win32::WideFromUtf8(form_.caption);
        std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3 + caption.size(), 0);
        auto* tmpl = reinterpret_cast<DLGTEMPLATE*>(words.data());
        tmpl->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        WORD* tail = words.data() + sizeof(DLGTEMPLATE) / sizeof(WORD);
        tail[0] = 0; // no menu
        tail[1] = 0; // the dialog class
        std::copy(caption.begin(), caption.end(), tail + 2);
        window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tmpl, nullptr, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
        return window_ != nullptr;
    }

    HWND Window() const { return window_; }

    void Show() {
        ShowWindow(window_, SW_SHOWNORMAL);
        SetForegroundWindow(window_);
        if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE))
            SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }

    // True once the form has been unloaded or the window closed.
    bool Finished() const { return closed_ || !IsLoaded(form_); }

    // Ctrl with a text box's letter raises its double-click (the keyboard's
    // way to what the mouse does there); false for any other key.
    bool Shortcut(const MSG& msg) {
        if (msg.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0)
            return false;
        for (size_t i = 0; i < form_.controls.size(); ++i) {
            const Control& c = form_.controls[i];
            HWND box = GetDlgItem(window_, kFirstControlId + static_cast<int>(i));
            if (c.double_click_key && msg.wParam == static_cast<WPARAM>(c.double_click_key) &&
                box && IsWindowVisible(box) && IsWindowEnabled(box)) {
                Raise(static_cast<int>(i), Event::kDblClick);
                return true;
            }
        }
        return false;
    }

private:
    int PixelsX(int twips) const { return static_cast<int>(std::lround(twips * scale_x_)); }
    int PixelsY(int twips) const { return static_cast<int>(std::lround(twips * scale_y_)); }

    // The dialog font (the system's message font at the window's dpi), and
    // the twips' scale: the form was laid out for its font size, so a twip
    // is that font's pixel size over the design size in twips, grown where a
    // caption in that font needs more room than the design gives it.
    void ChooseFontAndScale() {
        dpi_ = WindowDpi(window_);
        LOGFONTW message = MessageFont(dpi_);
        font_ = CreateFontIndirectW(&message);
        HDC dc = GetDC(window_);
        HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        const int em = metrics.tmHeight - metrics.tmInternalLeading;
        const double design_twips = (form_.font_size > 0 ? form_.font_size : 9) * 20;
        scale_x_ = scale_y_ = em > 0 ? em / design_twips : dpi_ / 1440.0;
        const int edge = MulDiv(4, dpi_, 96);
        for (const Control& c : form_.controls) {
            if (c.caption.empty() || c.width <= 0 || c.height <= 0 ||
                (c.kind != ControlKind::kLabel && c.kind != ControlKind::kCheckBox &&
                 c.kind != ControlKind::kCommandButton))
                continue;
            const std::wstring text = platform::win32::WideFromUtf8(c.caption);
            RECT r{};
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_CALCRECT | DT_SINGLELINE);
            int width = r.right, height = r.bottom;
            if (c.kind == ControlKind::kCheckBox) {
                width += GetSystemMetrics(SM_CXMENUCHECK) + edge;
                height = std::max<int>(height, GetSystemMetrics(SM_CYMENUCHECK));
            } else if (c.kind == ControlKind::kCommandButton) {
                width += 2 * edge + em;
                height += 2 * edge;
            }
            scale_x_ = std::max(scale_x_, static_cast<double>(width) / c.width);
            scale_y_ = std::max(scale_y_, static_cast<double>(height) / c.height);
        }
        SelectObject(dc, old);
        ReleaseDC(window_, dc);
    }

    // Ends the showing (ui::ShowModal then unloads the form). A message sent
    // from another thread is handled inside GetMessage, which would go on
    // waiting: the loop is woken to see the end.
    void Close() {
        closed_ = true;
        PostMessageW(window_, WM_NULL, 0, 0);
    }

    void Raise(int control_index, Event event) {
        if (control_index < 0 || static_cast<size_t>(control_index) >= form_.controls.size())
            return;
        Control& c = form_.controls[static_cast<size_t>(control_index)];
        if (c.kind == ControlKind::kCheckBox && event == Event::kClick)
            c.value = SendMessageW(GetDlgItem(window_, kFirstControlId + control_index),
                                   BM_GETCHECK, 0, 0) == BST_CHECKED
                          ? 1
                          : 0;
        if (!RaiseEvent(form_, c.name, event))
            return Close();
        try {
            ShowTextBoxes();
        } catch (...) {
            Close(); // a window that cannot show its form closes
        }
    }

    // Text boxes show the text handlers wrote to them (a status line, say).
    void ShowTextBoxes() {
        for (size_t i = 0; i < form_.controls.size(); ++i) {
            const Control& c = form_.controls[i];
            HWND box = GetDlgItem(window_, kFirstControlId + static_cast<int>(i));
            if (c.kind != ControlKind::kTextBox || !box)
                continue;
            const std::wstring text = platform::win32::WideFromUtf8(c.caption);
            std::wstring shown(static_cast<size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
            shown.resize(static_cast<size_t>(
                GetWindowTextW(box, shown.data(), static_cast<int>(shown.size()))));
            if (shown != text)
                SetWindowTextW(box, text.c_str());
            if (c.name == form_.described_by && !form_.menu) {
                std::string description = FirstSentence(c.caption);
                if (description != description_) {
                    description_ = std::move(description);
                    descriptions_.Set(window_, description_);
                }
            }
        }
    }

    void Layout() {
        // A set outer height cuts the window off where the design's frame
        // would: the same controls show whatever the font and frame.
        RECT frame{0, 0, PixelsX(form_.client_width), PixelsY(form_.VisibleClientHeight())};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        RECT work{};
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
            work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        const int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
        const int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
        SetWindowPos(window_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Creation order is the order Tab visits the controls in. A screen
    // reader names a control after the label just before it, and a label's
    // access key moves to the control after it: so a label comes right
    // before the control the form says it names, and one that names nothing
    // comes last.
    void CreateControls() {
        const auto is_label = [&](size_t i, const std::string& names) {
            return form_.controls[i].kind == ControlKind::kLabel &&
                   form_.controls[i].label_for == names;
        };
        const std::vector<size_t> order = TabOrder(form_);
        for (size_t i : order) {
            if (form_.controls[i].kind == ControlKind::kLabel)
                continue;
            for (size_t label : order)
                if (!form_.controls[i].name.empty() && is_label(label, form_.controls[i].name))
                    CreateControl(static_cast<int>(label));
            CreateControl(static_cast<int>(i));
        }
        for (size_t i : order)
            if (form_.controls[i].kind == ControlKind::kLabel &&
                (form_.controls[i].label_for.empty() ||
                 !std::any_of(form_.controls.begin(), form_.controls.end(), [&](const Control& c) {
                     return c.name == form_.controls[i].label_for;
                 })))
                CreateControl(static_cast<int>(i));
    }

    void CreateControl(int index) {
        const Control& c = form_.controls[static_cast<size_t>(index)];
        const wchar_t* window_class = nullptr;
        DWORD style = WS_CHILD;
        DWORD ex_style = 0;
        switch (c.kind) {
        case ControlKind::kLabel:
            // Labels take no focus; their access key moves it to the next control.
            window_class = L"STATIC";
            style |= SS_LEFT;
            break;
        case ControlKind::kTextBox:
            window_class = L"EDIT";
            style |= ES_LEFT | ES_AUTOHSCROLL;
            ex_style |= WS_EX_CLIENTEDGE;
            if (c.multi_line)
                style = (style & ~ES_AUTOHSCROLL) | ES_MULTILINE | ES_AUTOVSCROLL;
            if (c.vertical_scroll_bar)
                style |= WS_VSCROLL;
            if (c.locked)
                style |= ES_READONLY;
            break;
        case ControlKind::kCheckBox:
            window_class = L"BUTTON";
            style |= BS_AUTOCHECKBOX;
            break;
        case ControlKind::kCommandButton:
            window_class = L"BUTTON";
            style |= c.default_button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        case ControlKind::kLine:
        case ControlKind::kImage:
            return; // painted by the form itself
        }
        // A control below a cut-off window's bottom edge is hidden, and so
        // out of Tab's way.
        RECT client{};
        GetClientRect(window_, &client);
        const bool shown = c.visible && PixelsY(c.top) < client.bottom;
        if (c.tab_index >= 0 && c.kind != ControlKind::kLabel && shown)
            style |= WS_TABSTOP;
        if (shown)
            style |= WS_VISIBLE;
        if (!c.enabled)
            style |= WS_DISABLED;
        const std::wstring text = platform::win32::WideFromUtf8(c.caption);
        const int id = kFirstControlId + index;
        HWND child = CreateWindowExW(ex_style, window_class, text.c_str(), style, PixelsX(c.left),
                                     PixelsY(c.top), PixelsX(c.width), PixelsY(c.height), window_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     GetModuleHandleW(nullptr), nullptr);
        if (!child)
            return;
        if (font_)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (!c.accessible_description.empty())
            descriptions_.Set(child, c.accessible_description);
        if (!c.accessible_name.empty())
            descriptions_.Set(child, c.accessible_name, PROPID_ACC_NAME);
        if (c.kind == ControlKind::kCheckBox)
            SendMessageW(child, BM_SETCHECK, c.value ? BST_CHECKED : BST_UNCHECKED, 0);
        if (c.kind == ControlKind::kCommandButton && c.default_button)
            SendMessageW(window_, DM_SETDEFID, static_cast<WPARAM>(id), 0);
        if (c.kind == ControlKind::kTextBox) {
            const auto original =
                SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextBoxProc));
            SetPropW(child, kOriginalProcProperty, reinterpret_cast<HANDLE>(original));
        }
    }

    void Paint() {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window_, &paint);
        for (size_t i = 0; i < form_.controls.size(); ++i) {
            const Control& c = form_.controls[i];
            if (!c.visible)
                continue;
            if (c.kind == ControlKind::kLine) {
                HPEN pen = CreatePen(PS_SOLID, 1, ColourRef(c.colour));
                HGDIOBJ old = SelectObject(dc, pen);
                MoveToEx(dc, PixelsX(c.left), PixelsY(c.top), nullptr);
                LineTo(dc, PixelsX(c.left + c.width), PixelsY(c.top + c.height));
                SelectObject(dc, old);
                DeleteObject(pen);
            } else if (i < pictures_.size() && pictures_[i]) {
                // At the picture's own size, as an image that does not stretch.
                IPicture& picture = *pictures_[i];
                OLE_XSIZE_HIMETRIC width = 0;
                OLE_YSIZE_HIMETRIC height = 0;
                picture.get_Width(&width);
                picture.get_Height(&height);
                picture.Render(dc, PixelsX(c.left), PixelsY(c.top), MulDiv(width, dpi_, 2540),
                               MulDiv(height, dpi_, 2540), 0, height, width, -height, nullptr);
            }
        }
        EndPaint(window_, &paint);
    }

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<FormWindow*>(lparam);
            SetWindowLongPtrW(window, DWLP_USER, lparam);
            self->window_ = window;
            try {
                self->ChooseFontAndScale();
                self->Layout();
                self->CreateControls();
                self->ShowTextBoxes();
            } catch (...) {
                self->Close();
            }
            return FALSE; // Show() sets the focus once the window is visible
        }
        auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!self)
            return FALSE;
        switch (message) {
        case WM_COMMAND: {
            // Esc (IDCANCEL) closes the window as its close box does. Enter
            // without a default button sends IDOK, which is no control's.
            if (LOWORD(wparam) == IDCANCEL && lparam == 0) {
                self->Close();
                return TRUE;
            }
            const int index = LOWORD(wparam) - kFirstControlId;
            if (HIWORD(wparam) == BN_CLICKED && lparam != 0)
                self->Raise(index, Event::kClick);
            return TRUE;
        }
        case WM_CLOSE:
            self->Close();
            return TRUE;
        case WM_PAINT:
            self->Paint();
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            // A read-only text box keeps the window colour of a text box.
            wchar_t name[8] = {};
            GetClassNameW(reinterpret_cast<HWND>(lparam), name, 8);
            if (lstrcmpiW(name, L"Edit") != 0)
                return FALSE;
            HDC dc = reinterpret_cast<HDC>(wparam);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
        }
        default:
            return FALSE;
        }
    }

    // Text boxes: a double-click raises DblClick; focus arriving by Tab
    // leaves the text unselected, as a text box does; and Esc goes to the
    // dialog, which a multi-line box would otherwise keep.
    static LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
        const auto original = reinterpret_cast<WNDPROC>(GetPropW(box, kOriginalProcProperty));
        const LRESULT result = CallWindowProcW(original, box, message, wparam, lparam);
        switch (message) {
        case WM_GETDLGCODE: {
            const auto* key = reinterpret_cast<const MSG*>(lparam);
            if (key && (key->message == WM_KEYDOWN || key->message == WM_CHAR) &&
                key->wParam == VK_ESCAPE)
                return result & ~(DLGC_HASSETSEL | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
            return result & ~DLGC_HASSETSEL;
        }
        case WM_LBUTTONDBLCLK:
            if (auto* self =
                    reinterpret_cast<FormWindow*>(GetWindowLongPtrW(GetParent(box), DWLP_USER)))
                self->Raise(GetDlgCtrlID(box) - kFirstControlId, Event::kDblClick);
            break;
        case WM_NCDESTROY:
            RemovePropW(box, kOriginalProcProperty);
            break;
        }
        return result;
    }

    Form& form_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    Descriptions descriptions_;
    std::string description_;          // the dialog's, from its message
    std::vector<PicturePtr> pictures_; // by control, null but for images
    int dpi_ = 96;
    double scale_x_ = 96 / 1440.0; // pixels per twip
    double scale_y_ = 96 / 1440.0;
    bool closed_ = false;
};

class Win32Host final : public Host {
public:
    int MsgBox(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override {
        // The window the user is working in owns the box, so it is active
        // again once the box closes; without one the box is modal to the task.
        const HWND owner = GetActiveWindow();
        UINT style = (owner ? MB_APPLMODAL : MB_TASKMODAL) |
                     (buttons == Buttons::kRetryCancel ? MB_RETRYCANCEL : MB_OK);
        switch (icon) {
        case Icon::kInformation:
            style |= MB_ICONINFORMATION;
            break;
        case Icon::kWarning:
            style |= MB_ICONEXCLAMATION;
            break;
        case Icon::kCritical:
            style |= MB_ICONHAND;
            break;
        case Icon::kNone:
            break;
        }
        const std::string ansi_text = platform::AnsiFromUtf8(text);
        const std::string ansi_title = platform::AnsiFromUtf8(title);
        const int answer = MessageBoxA(owner, ansi_text.c_str(), ansi_title.c_str(), style);
        // 0: the box could not be shown (no desktop); answer as cancelled.
        return answer > 0 ? answer : (buttons == Buttons::kOK ? kIdOk : kIdCancel);
    }

    void ShowModal(Form& form) override {
        try {
            Run(form);
        } catch (...) {
            // A form that cannot be shown ends here; ui::ShowModal unloads it.
        }
    }

    void DoEvents() override {
        // Messages that arrive while the pass runs wait for the next one.
        const DWORD start = GetTickCount();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            Dispatch(msg);
            if (static_cast<LONG>(msg.time - start) > 0)
                return;
        }
    }

    void MousePointerChanged(int pointer) override {
        SetCursor(LoadCursorA(nullptr, pointer == 11 ? IDC_WAIT : IDC_ARROW));
    }

    void Wake() override { PostThreadMessageW(GetCurrentThreadId(), kWakeMessage, 0, 0); }

private:
    void Run(Form& form) {
        FormWindow window(form);
        if (!window.Create())
            return;
        OtherWindowsDisabled disabled;
        window.Show();
        HWND outer = dialog_;
        dialog_ = window.Window();
        // Mail dialogs opened from the form's handlers take it as their parent.
        form.window_handle = reinterpret_cast<std::uintptr_t>(dialog_);
        MSG msg;
        while (!window.Finished() && IsWindow(window.Window())) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got <= 0) {
                // WM_QUIT ends the form and goes on to the loop it was meant for.
                if (got == 0)
                    PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            Dispatch(msg);
        }
        dialog_ = outer;
        form.window_handle = 0;
        // `disabled` enables the other windows before `window` is destroyed,
        // so activation returns to them.
    }

    // Keyboard navigation (Tab, Enter, access keys) goes to the form shown;
    // the thread's wake-up message runs the posted callbacks.
    void Dispatch(MSG& msg) {
        if (!msg.hwnd && msg.message == kWakeMessage) {
            RunPosted();
            return;
        }
        if (dialog_) {
            auto* form = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(dialog_, DWLP_USER));
            if (form && form->Shortcut(msg))
                return;
            if (IsDialogMessageW(dialog_, &msg))
                return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    static constexpr UINT kWakeMessage = WM_APP + 0x54;
    HWND dialog_ = nullptr;
};

} // namespace

std::unique_ptr<Host> MakeGraphicalHost() {
    return std::make_unique<Win32Host>();
}

} // namespace tamberlin::ui
