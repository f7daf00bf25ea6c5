// Dialogs, controls, painting, message boxes and file dialogs on Windows.
#include "system_window.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <map>

namespace win {

namespace {

HWND H(Window window) {
    return static_cast<HWND>(window);
}

// Hands every message to the framework's procedure, which the dialog keeps
// from WM_INITDIALOG on.
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* hook = reinterpret_cast<DialogHook*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (message == WM_INITDIALOG) {
        hook = reinterpret_cast<DialogHook*>(lParam);
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hook));
    }
    if (hook == nullptr) {
        return FALSE;
    }
    bool handled = false;
    const std::intptr_t result =
        hook->procedure(hook->context, dialog, message, wParam, lParam, handled);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
    }
    if (!handled) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
        return TRUE;
    }
}

const DLGTEMPLATE* Layout(const std::vector<std::uint16_t>& layout) {
    return reinterpret_cast<const DLGTEMPLATE*>(layout.data());
}

} // namespace

std::intptr_t RunModalDialog(const std::vector<std::uint16_t>& layout, Window owner,
                             DialogHook& hook) {
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), Layout(layout), H(owner), DialogProc,
                                   reinterpret_cast<LPARAM>(&hook));
}

Window CreateModelessDialog(const std::vector<std::uint16_t>& layout, Window owner,
                            DialogHook& hook) {
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), Layout(layout), H(owner),
                                      DialogProc, reinterpret_cast<LPARAM>(&hook));
}

void EndDialog(Window dialog, std::intptr_t result) {
    ::EndDialog(H(dialog), static_cast<INT_PTR>(result));
}

void DestroyWindow(Window window) {
    ::DestroyWindow(H(window));
}

bool IsWindow(Window window) {
    return window != nullptr && ::IsWindow(H(window)) != FALSE;
}

std::vector<Window> ChildWindows(Window parent) {
    std::vector<Window> children;
    for (HWND child = GetWindow(H(parent), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

void PlaceBefore(Window window, Window next) {
    HWND previous = GetWindow(H(next), GW_HWNDPREV);
    if (previous == H(window)) {
        return;
    }
    SetWindowPos(H(window), previous != nullptr ? previous : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void CenterWindow(Window window, Window owner) {
    RECT frame{};
    GetWindowRect(H(window), &frame);
    HMONITOR monitor =
        MonitorFromWindow(owner != nullptr ? H(owner) : H(window), MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    const RECT area = info.rcWork;
    RECT around = area;
    if (owner != nullptr && IsWindowVisible(H(owner)) != FALSE && ::IsIconic(H(owner)) == FALSE) {
        GetWindowRect(H(owner), &around);
    }
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;
    LONG left = (around.left + around.right - width) / 2;
    LONG top = (around.top + around.bottom - height) / 2;
    left = std::clamp(left, area.left, std::max(area.left, area.right - width));
    top = std::clamp(top, area.top, std::max(area.top, area.bottom - height));
    SetWindowPos(H(window), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Show(Window window) {
    ShowWindow(H(window), SW_SHOW);
}

std::intptr_t SendUnpainted(Window window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
    if (IsWindowVisible(H(window)) == FALSE) {
        return SendMessageW(H(window), message, wParam, lParam);
    }
    // Some controls paint inside the message; with drawing held, the change
    // only marks the control for the next paint.
    SendMessageW(H(window), WM_SETREDRAW, FALSE, 0);
    const LRESULT result = SendMessageW(H(window), message, wParam, lParam);
    SendMessageW(H(window), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(H(window), nullptr, TRUE);
    return result;
}

void SetText(Window window, const std::wstring& text, bool unpainted) {
    if (unpainted) {
        SendUnpainted(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    } else {
        SetWindowTextW(H(window), text.c_str());
    }
}

std::wstring GetText(Window window) {
    const int length = GetWindowTextLengthW(H(window));
    std::wstring text(static_cast<std::size_t>(std::max(0, length)) + 1, L'\0');
    const int got = GetWindowTextW(H(window), text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(0, got)));
    return text;
}

bool Enable(Window window, bool enable) {
    return EnableWindow(H(window), enable ? TRUE : FALSE) != FALSE;
}

bool IsEnabled(Window window) {
    return IsWindowEnabled(H(window)) != FALSE;
}

bool IsIconic(Window window) {
    return ::IsIconic(H(window)) != FALSE;
}

bool IsVisible(Window window) {
    return IsWindowVisible(H(window)) != FALSE;
}

std::intptr_t Send(Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return SendMessageW(H(window), message, wParam, lParam);
}

std::intptr_t SendText(Window window, unsigned message, std::uintptr_t wParam,
                       const std::wstring& text) {
    return SendMessageW(H(window), message, wParam, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring ComboEntry(Window combo, int index) {
    const LRESULT length = SendMessageW(H(combo), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(H(combo), CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
    return text;
}

void DeferRedraw(Window window) {
    constexpr UINT_PTR kRedrawTimer = 0xBC24;
    SendMessageW(H(window), WM_SETREDRAW, FALSE, 0);
    // A timer's turn comes when nothing else is waiting in the queue.
    SetTimer(H(window), kRedrawTimer, 0, [](HWND list, UINT, UINT_PTR id, DWORD) {
        KillTimer(list, id);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(list, nullptr, nullptr,
                     RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    });
}

void PaintNow(Window window, bool children) {
    RedrawWindow(H(window), nullptr, nullptr, RDW_UPDATENOW | (children ? RDW_ALLCHILDREN : 0));
}

// The size a text takes in a font, as the window's device draws it; its
// height is the font's.
SIZE TextExtent(HWND window, HFONT font, const std::wstring& text) {
    SIZE extent{};
    HDC context = GetDC(window);
    if (context == nullptr) {
        return extent;
    }
    HGDIOBJ previous = SelectObject(context, font);
    GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(context, previous);
    ReleaseDC(window, context);
    return extent;
}

HFONT FontOf(HWND window) {
    return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
}

void UseFixedPitchFont(Window control) {
    // The fixed-pitch face at the largest height whose digits are no wider
    // than the control's own font's, so that figures that fit in the
    // control's font fit in it. One font a height, kept for the program's
    // life.
    static std::map<LONG, HFONT> fonts;
    HFONT font = FontOf(H(control));
    if (font == nullptr) {
        return;
    }
    const SIZE own = TextExtent(H(control), font, L"0");
    HFONT chosen = nullptr;
    for (LONG height = own.cy; height >= 6 && chosen == nullptr; --height) {
        HFONT& fixed = fonts[height];
        if (fixed == nullptr) {
            LOGFONTW wanted{};
            wanted.lfHeight = height;
            wanted.lfWeight = FW_NORMAL;
            wanted.lfCharSet = DEFAULT_CHARSET;
            wanted.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
            lstrcpynW(wanted.lfFaceName, L"Courier New", LF_FACESIZE);
            fixed = CreateFontIndirectW(&wanted);
        }
        if (TextExtent(H(control), fixed, L"0").cx <= own.cx || height == 6) {
            chosen = fixed;
        }
    }
    if (chosen != nullptr) {
        SendMessageW(H(control), WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
    }
}

void FitTextWidth(Window control) {
    const std::wstring text = GetText(control);
    if (text.empty()) {
        return;
    }
    const SIZE extent = TextExtent(H(control), FontOf(H(control)), text);
    HWND parent = GetParent(H(control));
    const auto placeOf = [parent](HWND window) {
        RECT rect{};
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    const RECT rect = placeOf(H(control));
    // Up to the next control on its row, or the edge of the client area.
    RECT client{};
    GetClientRect(parent, &client);
    LONG limit = client.right;
    for (Window sibling : ChildWindows(parent)) {
        const RECT other = placeOf(H(sibling));
        if (sibling != control && other.left >= rect.right && other.top < rect.bottom &&
            other.bottom > rect.top) {
            limit = std::min(limit, other.left - 1);
        }
    }
    const LONG width = std::min<LONG>(extent.cx, limit - rect.left);
    if (width > rect.right - rect.left) {
        SetWindowPos(H(control), nullptr, 0, 0, width, rect.bottom - rect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void AppendSystemMenu(Window window, unsigned id, const std::wstring& text) {
    HMENU menu = GetSystemMenu(H(window), FALSE);
    if (menu == nullptr) {
        return;
    }
    if (text.empty()) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
        AppendMenuW(menu, MF_STRING, id, text.c_str());
    }
}

void SetIcon(Window window, bool big, Icon icon) {
    SendMessageW(H(window), WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(icon));
}

void SetStaticIcon(Window control, Icon icon) {
    SendMessageW(H(control), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void AddToolTips(Window dialog, const std::vector<Window>& controls) {
    HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, H(dialog), nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (tips == nullptr) {
        return;
    }
    // Lines of a tooltip break at line feeds within this width.
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 600);
    SendMessageW(tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    for (Window control : controls) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = H(dialog);
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

bool AnswerToolTip(std::intptr_t lParam,
                   const std::function<bool(Window control, std::wstring& text)>& textOf) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header == nullptr || header->code != TTN_GETDISPINFOW) {
        return false;
    }
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    // The text must outlive this message; the last one is kept here.
    static std::wstring kept;
    kept.clear();
    if ((info->uFlags & TTF_IDISHWND) != 0 &&
        textOf(reinterpret_cast<Window>(header->idFrom), kept)) {
        info->lpszText = kept.data();
    } else {
        info->lpszText = nullptr;
    }
    return true;
}

ClientSize GetClientSize(Window window) {
    RECT client{};
    GetClientRect(H(window), &client);
    return {client.right - client.left, client.bottom - client.top};
}

int SystemMetric(int index) {
    return GetSystemMetrics(index);
}

Painter BeginPaint(Window window, void*& state) {
    auto* paint = new PAINTSTRUCT{};
    state = paint;
    return ::BeginPaint(H(window), paint);
}

void EndPaint(Window window, void* state) {
    auto* paint = static_cast<PAINTSTRUCT*>(state);
    if (paint != nullptr) {
        ::EndPaint(H(window), paint);
        delete paint;
    }
}

void DrawIcon(Painter painter, int x, int y, Icon icon) {
    ::DrawIcon(static_cast<HDC>(painter), x, y, static_cast<HICON>(icon));
}

Icon CreateIcon(const std::vector<std::pair<int, std::vector<std::uint32_t>>>& images,
                int wantedSize) {
    // The image of the wanted size, or else the largest, drawn at that size.
    const std::pair<int, std::vector<std::uint32_t>>* source = nullptr;
    for (const auto& image : images) {
        if (source == nullptr || image.first == wantedSize ||
            (source->first != wantedSize && image.first > source->first)) {
            source = &image;
        }
    }
    if (source == nullptr || source->first <= 0) {
        return nullptr;
    }
    const int size = wantedSize;
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size; // rows from the top
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (colour == nullptr || bits == nullptr) {
        return nullptr;
    }
    auto* pixels = static_cast<std::uint32_t*>(bits);
    const int from = source->first;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::size_t at =
                static_cast<std::size_t>(y * from / size) * static_cast<std::size_t>(from) +
                static_cast<std::size_t>(x * from / size);
            pixels[y * size + x] = at < source->second.size() ? source->second[at] : 0;
        }
    }
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

int ShowMessageBox(Window owner, const std::wstring& text, const std::wstring& caption,
                   unsigned type) {
    return MessageBoxW(H(owner), text.c_str(), caption.c_str(), type);
}

bool ChooseFile(Window owner, bool open, const std::wstring& filter, unsigned long flags,
                std::wstring& path) {
    std::wstring buffer(32768, L'\0');
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = H(owner);
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = 1;
    request.lpstrFile = buffer.data();
    request.nMaxFile = static_cast<DWORD>(buffer.size());
    request.Flags = flags | OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    const BOOL chosen = open ? GetOpenFileNameW(&request) : GetSaveFileNameW(&request);
    if (chosen == FALSE) {
        return false;
    }
    path.assign(buffer.c_str());
    return !path.empty();
}

bool IsCloseRequest(unsigned message, std::uintptr_t wParam) {
    return message == WM_CLOSE || (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) ||
           (message == WM_NCLBUTTONUP && wParam == HTCLOSE) ||
           (message == WM_SYSKEYDOWN && wParam == VK_F4);
}

void DispatchWithoutInput(const std::function<void(unsigned message, std::uintptr_t key)>& report) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (message.message == WM_QUIT) {
            // Left for the modal loop that is waiting for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        const UINT kind = message.message;
        if (IsCloseRequest(kind, message.wParam)) {
            report(WM_CLOSE, 0);
            continue;
        }
        if (kind == WM_KEYDOWN || kind == WM_SYSKEYDOWN) {
            report(WM_KEYDOWN, message.wParam == VK_ESCAPE ? VK_ESCAPE : 0);
            continue;
        }
        if ((kind >= WM_KEYFIRST && kind <= WM_KEYLAST) ||
            (kind >= WM_MOUSEFIRST && kind <= WM_MOUSELAST) ||
            (kind >= WM_NCMOUSEMOVE && kind <= WM_NCXBUTTONDBLCLK) || kind == WM_SYSCOMMAND ||
            kind == WM_COMMAND || kind == WM_CONTEXTMENU) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void ShowBusyPointer(bool held) {
    SetCursor(LoadCursorW(nullptr, held ? IDC_WAIT : IDC_ARROW));
}

void InitControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
}

std::wstring ProgramBaseName() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

} // namespace win
