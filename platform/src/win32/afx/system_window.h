// The Windows window calls the dialog framework makes, behind plain types.
// Only system_window.cpp includes the system's headers; the framework's files
// beside it include this and the platform's own headers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace win {

// A window (HWND), an icon (HICON) or a device context (HDC); null for none.
using Window = void*;
using Icon = void*;
using Painter = void*;

// ---------------------------------------------------------------------------
// Dialogs

// Called for every message of a dialog; handled false lets the system's
// default dialog handling have it.
using DialogProcedure = std::intptr_t (*)(void* context, Window dialog, unsigned message,
                                          std::uintptr_t wParam, std::intptr_t lParam,
                                          bool& handled);

// What a dialog hands its messages to; kept alive by the caller for as long
// as the dialog's window lives.
struct DialogHook {
    DialogProcedure procedure = nullptr;
    void* context = nullptr;
};

// Runs a modal dialog from an in-memory layout (DLGTEMPLATEEX words); returns
// what EndDialog gave, or -1 when it could not be made.
std::intptr_t RunModalDialog(const std::vector<std::uint16_t>& layout, Window owner,
                             DialogHook& hook);
// Makes a modeless dialog; null when it could not be made.
Window CreateModelessDialog(const std::vector<std::uint16_t>& layout, Window owner,
                            DialogHook& hook);
void EndDialog(Window dialog, std::intptr_t result);
void DestroyWindow(Window window);
bool IsWindow(Window window);
// The child windows in their order, which is the layout's.
std::vector<Window> ChildWindows(Window parent);
// Moves a window in the order of its siblings to just before another, where
// screen readers look for the label of that other.
void PlaceBefore(Window window, Window next);
// Centres the window over its owner's window, or on the work area of the
// screen when it has none, and keeps it inside that work area.
void CenterWindow(Window window, Window owner);
void Show(Window window);

// ---------------------------------------------------------------------------
// Windows and controls

// The window's text; unpainted, the change waits for the next paint.
void SetText(Window window, const std::wstring& text, bool unpainted = false);
std::wstring GetText(Window window);
// Returns whether the window was disabled before.
bool Enable(Window window, bool enable);
bool IsEnabled(Window window);
bool IsIconic(Window window);
bool IsVisible(Window window);
std::intptr_t Send(Window window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
// A message that changes what a visible control shows, the change left for
// the next paint.
std::intptr_t SendUnpainted(Window window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam);
// A list's or a drop-down list's text, with its message's own string.
std::intptr_t SendText(Window window, unsigned message, std::uintptr_t wParam,
                       const std::wstring& text);
// A drop-down list's entry, or "" when there is none.
std::wstring ComboEntry(Window combo, int index);
// Stops drawing the window until the thread next dispatches its messages,
// then draws it whole once.
void DeferRedraw(Window window);
// Paints now what is invalid in the window and, when asked, in its children.
void PaintNow(Window window, bool children);
// Shows the control's text in the fixed-pitch face, no wider than its font.
void UseFixedPitchFont(Window control);
// Widens a one-line static that its text does not fit, up to the next
// control on its row, so that the text is not cut.
void FitTextWidth(Window control);
// Appends an item (or, with no text, a separator) to the window's system menu.
void AppendSystemMenu(Window window, unsigned id, const std::wstring& text);
void SetIcon(Window window, bool big, Icon icon);
void SetStaticIcon(Window control, Icon icon);
// Gives the dialog a tooltip for each control, whose text is asked for with
// WM_NOTIFY (TTN_GETDISPINFOW) when it is shown.
void AddToolTips(Window dialog, const std::vector<Window>& controls);
// Answers a WM_NOTIFY that asks a tooltip's text, from the text function;
// false when the notification is something else.
bool AnswerToolTip(std::intptr_t lParam,
                   const std::function<bool(Window control, std::wstring& text)>& textOf);

// ---------------------------------------------------------------------------
// Painting and icons

struct ClientSize {
    int width = 0;
    int height = 0;
};
ClientSize GetClientSize(Window window);
int SystemMetric(int index);
// Begins and ends painting a window inside its WM_PAINT.
Painter BeginPaint(Window window, void*& state);
void EndPaint(Window window, void* state);
void DrawIcon(Painter painter, int x, int y, Icon icon);
// An icon of the given images: each size by size pixels, 0xAARRGGBB a pixel,
// row by row from the top.
Icon CreateIcon(const std::vector<std::pair<int, std::vector<std::uint32_t>>>& images,
                int wantedSize);

// ---------------------------------------------------------------------------
// Prompts

// The message box of the type (MB_*) with the caption, modal to owner.
int ShowMessageBox(Window owner, const std::wstring& text, const std::wstring& caption,
                   unsigned type);
// The open or save dialog with a filter of "name\0pattern\0" pairs; true with
// the chosen path.
bool ChooseFile(Window owner, bool open, const std::wstring& filter, unsigned long flags,
                std::wstring& path);

// ---------------------------------------------------------------------------
// The message loop while input is held back

// Whether a message asks to close the window: WM_CLOSE, the system's close
// command, a click on the close button or Alt+F4.
bool IsCloseRequest(unsigned message, std::uintptr_t wParam);
// Dispatches what is pending except user input. Key presses and close
// requests are reported (message WM_KEYDOWN with the key, or WM_CLOSE) and,
// like all other input, dropped.
void DispatchWithoutInput(const std::function<void(unsigned message, std::uintptr_t key)>& report);
// The busy pointer, shown while held is true.
void ShowBusyPointer(bool held);

// ---------------------------------------------------------------------------
// The program

// Common controls (the progress bar) and the program's start.
void InitControls();
// The program file's base name, without folder or extension.
std::wstring ProgramBaseName();

} // namespace win
