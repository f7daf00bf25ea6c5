// Drives bc245xlt.exe as a person would, from a second program: finds the
// window by its caption, reads its controls by id, presses buttons, answers
// message boxes and the file dialogs, and follows the status line.
//   window_driver.exe CASE PROGRAM [FILE] [SCREENSHOT]
// Cases: start [SCREENSHOT], get FILE [SCREENSHOT], send FILE, missing,
// escape [SCREENSHOT].
// Prints "ok ..." or "FAIL ..." a check, "row ..." for the listing's rows and
// "took S" for a transfer's wall time; exits 1 when a check failed.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kStatus = 1008, kProgress = 1000, kDescription = 1001, kSend = 1003, kGet = 1004,
              kSave = 1005, kLoad = 1006, kPort = 1007, kContents = 1009;
constexpr wchar_t kCaption[] = L"BC245XLT Morvane Utility";

int failures = 0;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

void Check(const char* what, bool ok, const std::wstring& detail = L"") {
    std::printf("%s %s%s%s\n", ok ? "ok" : "FAIL", what, ok || detail.empty() ? "" : ": ",
                ok ? "" : Utf8(detail).c_str());
    std::fflush(stdout);
    if (!ok) {
        ++failures;
    }
}

std::wstring Text(HWND window) {
    wchar_t buffer[4096] = {};
    SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::wstring ItemText(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// Waits until the condition holds or the time is up; true when it held.
bool WaitFor(const std::function<bool()>& condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A visible dialog window owned by the owner (a message box, the About box,
// a file dialog), the first found.
HWND OwnedDialog(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == L"#32770" && IsWindowVisible(window) &&
                GetWindow(window, GW_OWNER) == s->owner) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForBox(HWND owner, double seconds = 15) {
    HWND box = nullptr;
    WaitFor([&] { return (box = OwnedDialog(owner)) != nullptr; }, seconds);
    return box;
}

void Press(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

struct Program {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;

    bool Start(const std::wstring& path) {
        STARTUPINFOW start{};
        start.cb = sizeof start;
        std::wstring command = L"\"" + path + L"\"";
        if (CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &start, &process) == FALSE) {
            return false;
        }
        WaitFor([&] { return (window = FindWindowW(L"#32770", kCaption)) != nullptr; }, 20);
        // The window is drawn by then.
        WaitForInputIdle(process.hProcess, 5000);
        return window != nullptr;
    }

    bool Ended(double seconds) {
        return WaitForSingleObject(process.hProcess, static_cast<DWORD>(seconds * 1000)) ==
               WAIT_OBJECT_0;
    }

    void Quit() {
        Press(window, IDCANCEL);
        const bool ended = Ended(10);
        Check("Quit ends the program", ended);
        if (!ended) {
            // A program left behind would hold the desktop for the next case.
            TerminateProcess(process.hProcess, 1);
            Ended(10);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
};

// The window's listing rows, read as the system's list gives them.
std::vector<std::wstring> Rows(HWND window) {
    HWND list = GetDlgItem(window, kContents);
    std::vector<std::wstring> rows;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring row(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1,
                         L'\0');
        const LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row.data()));
        row.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        rows.push_back(row);
    }
    return rows;
}

// Answers a message box with OK and gives back its text.
std::wstring AnswerBox(HWND owner, const char* what, int button = IDOK) {
    HWND box = WaitForBox(owner);
    Check(what, box != nullptr, L"no box");
    if (box == nullptr) {
        return {};
    }
    const std::wstring text = ItemText(box, 0xFFFF);
    Check("the box is captioned with the program's name", Text(box) == L"bc245xlt", Text(box));
    Press(box, button);
    WaitFor([&] { return IsWindow(box) == FALSE || IsWindowVisible(box) == FALSE; }, 10);
    return text;
}

// Waits for the status line to show a text that starts so; the time it took.
double WaitForStatus(HWND window, const std::wstring& start, double seconds) {
    const auto began = std::chrono::steady_clock::now();
    const bool shown =
        WaitFor([&] { return ItemText(window, kStatus).rfind(start, 0) == 0; }, seconds);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    Check(("the status line shows " + Utf8(start)).c_str(), shown, ItemText(window, kStatus));
    return took;
}

// Fills in the system's open or save dialog with a path and confirms it.
void ChooseInFileDialog(HWND owner, const std::wstring& path, const char* what) {
    HWND dialog = WaitForBox(owner);
    Check(what, dialog != nullptr, L"no file dialog");
    if (dialog == nullptr) {
        return;
    }
    // The file name field of the explorer-style dialog, or of the older one.
    for (int id : {0x47C, 0x480}) {
        if (HWND field = GetDlgItem(dialog, id)) {
            SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        }
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    WaitFor([&] { return IsWindow(dialog) == FALSE; }, 10);
}

// The window with its frame, as the screen shows it, as a 24-bit BMP file.
void Screenshot(HWND window, const std::wstring& path) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<std::size_t>(stride * height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    if (FILE* out = _wfopen(path.c_str(), L"wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("window %d x %d, client ", width, height);
    RECT client{};
    GetClientRect(window, &client);
    std::printf("%ld x %ld\n", client.right, client.bottom);
}

// ---------------------------------------------------------------------------
// Cases

void StartCase(Program& program) {
    HWND w = program.window;
    Check("Send Data and Save are greyed", !Enabled(w, kSend) && !Enabled(w, kSave));
    Check("Get Data, Load and Quit can be pressed",
          Enabled(w, kGet) && Enabled(w, kLoad) && Enabled(w, IDCANCEL));
    Check("the buttons' texts",
          ItemText(w, kSend) == L"Send Data" && ItemText(w, kGet) == L"Get Data" &&
              ItemText(w, kLoad) == L"Load" && ItemText(w, kSave) == L"Save" &&
              ItemText(w, IDCANCEL) == L"Quit");
    Check("the port list shows COM1", ItemText(w, kPort) == L"COM1", ItemText(w, kPort));
    HWND port = GetDlgItem(w, kPort);
    std::wstring entries;
    const LRESULT count = SendMessageW(port, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[32] = {};
        SendMessageW(port, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        entries += entry;
        entries += L" ";
    }
    Check("the port list offers COM1 to COM4", entries == L"COM1 COM2 COM3 COM4 ", entries);
    Check("the description, the listing and the status line are empty",
          ItemText(w, kDescription).empty() && Rows(w).empty() && ItemText(w, kStatus).empty());
    Check("the progress bar is empty",
          SendMessageW(GetDlgItem(w, kProgress), PBM_GETPOS, 0, 0) == 0);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(program.process.dwThreadId, &thread);
    Check("the focus is on Quit", thread.hwndFocus == GetDlgItem(w, IDCANCEL));

    PostMessageW(w, WM_SYSCOMMAND, 16, 0);
    HWND about = WaitForBox(w);
    Check("the About item opens the About box", about != nullptr);
    if (about != nullptr) {
        std::wstring texts;
        for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            texts += Text(child) + L"|";
        }
        Check("with the program's name and version",
              texts.find(L"BC245XLT Morvane Utility v1.0|") != std::wstring::npos, texts);
        Check("and no title bar", (GetWindowLongW(about, GWL_STYLE) & WS_CAPTION) == 0);
        Press(about, IDOK);
        Check("OK closes it", WaitFor([&] { return IsWindow(about) == FALSE; }, 10));
    }
    PostMessageW(w, WM_SYSCOMMAND, 16 + 5, 0);
    about = WaitForBox(w);
    Check("a system command 16 to 31 opens it too", about != nullptr);
    if (about != nullptr) {
        PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
        Check("Escape's command closes it", WaitFor([&] { return IsWindow(about) == FALSE; }, 10));
    }
}

void GetCase(Program& program, const std::wstring& file, const std::wstring& screenshot) {
    HWND w = program.window;
    Press(w, kGet);
    const std::wstring prompt = AnswerBox(w, "Get Data asks for FIRST mode");
    Check("the FIRST-mode text", prompt.rfind(L"Place the BC245XLT in FIRST mode", 0) == 0, prompt);
    const double took = WaitForStatus(w, L"Download complete.", 120);
    std::printf("took %.3f\n", took);
    Check("Save is enabled, Send Data still greyed", Enabled(w, kSave) && !Enabled(w, kSend));
    Check("the bar is full", SendMessageW(GetDlgItem(w, kProgress), PBM_GETPOS, 0, 0) == 512);
    for (const std::wstring& row : Rows(w)) {
        std::printf("row %s\n", Utf8(row).c_str());
    }
    if (!screenshot.empty()) {
        Screenshot(w, screenshot);
    }
    SendMessageW(GetDlgItem(w, kDescription), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"Lane image"));
    Press(w, kSave);
    ChooseInFileDialog(w, file, "Save asks for a file");
    Check("no box follows the save", WaitForBox(w, 1) == nullptr);
}

void SendCase(Program& program, const std::wstring& file) {
    HWND w = program.window;
    Press(w, kLoad);
    ChooseInFileDialog(w, file, "Load asks for a file");
    Check("the load fills the description",
          WaitFor([&] { return ItemText(w, kDescription) == L"Lane image"; }, 10),
          ItemText(w, kDescription));
    Check("Send Data and Save are enabled", Enabled(w, kSend) && Enabled(w, kSave));
    Check("the listing shows 512 rows", Rows(w).size() == 512);
    Press(w, kSend);
    const std::wstring warning = AnswerBox(w, "Send Data warns first");
    Check("the CLONE-mode warning",
          warning.find(L"WARNING: This will replace") != std::wstring::npos, warning);
    const double took = WaitForStatus(w, L"Upload complete.", 120);
    std::printf("took %.3f\n", took);
}

void MissingCase(Program& program) {
    HWND w = program.window;
    SendMessageW(GetDlgItem(w, kPort), CB_SETCURSEL, 2, 0);
    Press(w, kGet);
    AnswerBox(w, "Get Data asks for FIRST mode");
    const std::wstring error = AnswerBox(w, "a port that is not there gives a box");
    Check("the port error", error.rfind(L"There was an error setting up the serial port.", 0) == 0,
          error);
    Check("and no second box", WaitForBox(w, 1.5) == nullptr);
}

void EscapeCase(Program& program, const std::wstring& screenshot) {
    HWND w = program.window;
    Press(w, kGet);
    AnswerBox(w, "Get Data asks for FIRST mode");
    Check(
        "the transfer runs",
        WaitFor([&] { return SendMessageW(GetDlgItem(w, kProgress), PBM_GETPOS, 0, 0) > 2; }, 20));
    if (!screenshot.empty()) {
        Screenshot(w, screenshot); // the window as a transfer paints it
    }
    PostMessageW(w, WM_KEYDOWN, VK_ESCAPE, 0);
    const std::wstring error = AnswerBox(w, "Escape ends the transfer with a box");
    Check("the transfer error", error.rfind(L"There was an error during data transfer.", 0) == 0,
          error);
    Check("the window stays", IsWindow(w) != FALSE && ItemText(w, kStatus).rfind(L"ERROR", 0) == 0,
          ItemText(w, kStatus));

    // A click on the close button during a transfer is a close request: it
    // cancels the transfer and leaves the window open.
    const LRESULT before = SendMessageW(GetDlgItem(w, kProgress), PBM_GETPOS, 0, 0);
    Press(w, kGet);
    AnswerBox(w, "Get Data asks for FIRST mode");
    Check("the second transfer runs",
          WaitFor(
              [&] { return SendMessageW(GetDlgItem(w, kProgress), PBM_GETPOS, 0, 0) > before + 2; },
              20));
    PostMessageW(w, WM_NCLBUTTONUP, HTCLOSE, 0);
    const std::wstring closed = AnswerBox(w, "the close button ends the transfer with a box");
    Check("the transfer error again",
          closed.rfind(L"There was an error during data transfer.", 0) == 0, closed);
    Check("and the window stays", IsWindow(w) != FALSE);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_driver CASE PROGRAM [FILE] [SCREENSHOT]\n");
        return 2;
    }
    const std::wstring which = argv[1];
    Program program;
    if (!program.Start(argv[2])) {
        Check("the window opens", false, argv[2]);
        return 1;
    }
    Check("the window opens", true);
    if (which == L"start") {
        if (argc > 3) {
            Screenshot(program.window, argv[3]);
        }
        StartCase(program);
    } else if (which == L"get" && argc > 3) {
        GetCase(program, argv[3], argc > 4 ? argv[4] : L"");
    } else if (which == L"send" && argc > 3) {
        SendCase(program, argv[3]);
    } else if (which == L"missing") {
        MissingCase(program);
    } else if (which == L"escape") {
        EscapeCase(program, argc > 3 ? argv[3] : L"");
    }
    program.Quit();
    return failures == 0 ? 0 : 1;
}
