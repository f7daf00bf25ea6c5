// The dialog framework on the system's dialog manager: the layouts become the
// system's dialogs control for control, and messages reach the handlers the
// maps name, with the system's default handling, the general error report
// and held-back input as on the other system.
#include "BackupDlg.h"
#include "resources.h"
#include "window_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CWinApp theApp("bc245xlt");

struct Box {
    CString text;
    UINT type;
};

class CapturedPrompts : public CUserPrompts {
public:
    CapturedPrompts() { m_previous = AfxSetUserPrompts(this); }
    ~CapturedPrompts() override { AfxSetUserPrompts(m_previous); }
    int MessageBox(CWnd*, const CString& text, const CString&, UINT type, const CString&) override {
        boxes.push_back({text, type});
        return IDOK;
    }
    bool ChooseFile(CWnd*, bool, const CString&, DWORD, CString&) override { return false; }
    std::vector<Box> boxes;

private:
    CUserPrompts* m_previous = nullptr;
};

void* Hwnd(const CWnd* window) {
    return window->GetSafeHwnd();
}

class WindowsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!helpers::CanMakeWindows()) {
            GTEST_SKIP() << "Wine has no display here: run with xvfb-run";
        }
        helpers::InitControls();
        AfxSetResourceTable(&BackupResources());
    }
};

TEST_F(WindowsDialog, TheMainLayoutBecomesTheSystemsDialogControlForControl) {
    CBackupDlg dlg;
    theApp.m_pMainWnd = &dlg;
    ASSERT_TRUE(dlg.Create());
    const DialogTemplate& layout = *dlg.Template();
    const std::vector<void*> children = helpers::Children(Hwnd(&dlg));
    ASSERT_EQ(children.size(), layout.controls.size());
    EXPECT_EQ(helpers::ClientOf(Hwnd(&dlg)),
              helpers::DialogUnitsToPixels(Hwnd(&dlg), 0, 0, layout.cx, layout.cy));
    const struct {
        const char* windowClass;
        const char* system;
    } kClasses[] = {{WC_BUTTON, "Button"},     {WC_EDIT, "Edit"},
                    {WC_STATIC, "Static"},     {WC_LISTBOX, "ListBox"},
                    {WC_COMBOBOX, "ComboBox"}, {WC_PROGRESS, "msctls_progress32"}};
    int labelsMoved = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ControlTemplate& control = layout.controls[i];
        std::string system;
        for (const auto& entry : kClasses) {
            if (std::string(entry.windowClass) == control.windowClass) {
                system = entry.system;
            }
        }
        // The labels are moved before their controls for screen readers;
        // each control is still found by its id and keeps its layout place.
        void* child = control.id != -1 ? Hwnd(dlg.GetDlgItem(control.id)) : nullptr;
        if (child == nullptr) {
            continue;
        }
        labelsMoved += child != children[i];
        EXPECT_EQ(helpers::ClassOf(child), system) << control.id;
        const helpers::Place place = helpers::PlaceOf(child);
        // The system maps a control's corner and its size each on its own.
        const helpers::Place corner =
            helpers::DialogUnitsToPixels(Hwnd(&dlg), control.x, control.y, 0, 0);
        const helpers::Place size =
            helpers::DialogUnitsToPixels(Hwnd(&dlg), 0, 0, control.cx, control.cy);
        EXPECT_EQ(place.left, corner.left) << control.id;
        EXPECT_EQ(place.top, corner.top) << control.id;
        EXPECT_EQ(place.width, size.width) << control.id;
        if (std::string(control.windowClass) != WC_COMBOBOX) {
            EXPECT_EQ(place.height, size.height) << control.id; // a closed list is lower
        }
    }
    EXPECT_GT(labelsMoved, 0);

    CString text;
    dlg.GetDlgItem(IDC_PORT)->GetWindowText(text);
    EXPECT_EQ(text, "COM1");
    EXPECT_EQ(dlg.GetDlgItem(IDC_PORT)->SendMessage(CB_GETCOUNT), 4);
    EXPECT_FALSE(dlg.GetDlgItem(IDC_SEND)->IsWindowEnabled());
    EXPECT_FALSE(dlg.GetDlgItem(IDC_SAVE)->IsWindowEnabled());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_GET)->IsWindowEnabled());
    EXPECT_EQ(helpers::LastSystemMenuItem(Hwnd(&dlg)), "&About BC245XLT Morvane Utility...");

    // Texts are the framework's code page on the way in and out.
    dlg.GetDlgItem(IDC_DESCRIPTION)->SetWindowText("Caf\xE9 \x80 list");
    dlg.GetDlgItem(IDC_DESCRIPTION)->GetWindowText(text);
    EXPECT_EQ(text, "Caf\xE9 \x80 list");
    dlg.GetDlgItem(IDC_CONTENTS)
        ->SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("0000\t01 02"));
    EXPECT_EQ(helpers::SendTo(Hwnd(dlg.GetDlgItem(IDC_CONTENTS)), 0x018B /* LB_GETCOUNT */, 0, 0),
              1);
    theApp.m_pMainWnd = nullptr;
}

// A dialog of its own, with a map that counts what reaches it.
constexpr int kCount = 100, kThrow = 101;

class CCountingDlg : public CDialog {
public:
    CCountingDlg() : CDialog(900, nullptr) {}
    const AFX_MSGMAP* GetMessageMap() const override {
        static const AFX_MSGMAP_ENTRY entries[] = {
            ON_BN_CLICKED(kCount, &CCountingDlg::OnCount),
            ON_BN_CLICKED(kThrow, &CCountingDlg::OnThrow),
            ON_WM_PAINT(&CCountingDlg::OnPaint),
            END_MESSAGE_MAP(),
        };
        static const AFX_MSGMAP map = {CDialog::GetMessageMap(), entries};
        return &map;
    }
    void OnCount() { ++counted; }
    void OnThrow() {
        struct Failure : CException {
            CString GetErrorMessage() const override { return "The handler failed."; }
        };
        throw Failure();
    }
    // The system paints the dialog once the handler hands it on.
    void OnPaint() {
        ++painted;
        Default();
    }
    int counted = 0;
    int painted = 0;
};

const ResourceTable& CountingResources() {
    static const ResourceTable table = {
        {{900,
          {"Counting",
           WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
           0,
           "MS Sans Serif",
           8,
           120,
           40,
           {{WC_BUTTON, kCount, "Count", 5, 5, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP},
            {WC_BUTTON, kThrow, "Throw", 60, 5, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP}}}}},
        {},
        {},
    };
    return table;
}

TEST_F(WindowsDialog, MessagesReachTheHandlersTheMapNames) {
    AfxSetResourceTable(&CountingResources());
    CapturedPrompts prompts;
    CCountingDlg dlg;
    ASSERT_TRUE(dlg.Create());
    helpers::Pump(Hwnd(&dlg));
    EXPECT_GT(dlg.painted, 0) << "WM_PAINT reaches its handler";

    helpers::SendTo(Hwnd(&dlg), WM_COMMAND, MAKEWPARAM(kCount, BN_CLICKED), 0);
    helpers::SendTo(Hwnd(dlg.GetDlgItem(kCount)), helpers::kButtonClick, 0, 0);
    EXPECT_EQ(dlg.counted, 2) << "a command and the button's own click";

    // An error that escapes a handler is reported, and the dialog goes on.
    helpers::SendTo(Hwnd(&dlg), WM_COMMAND, MAKEWPARAM(kThrow, BN_CLICKED), 0);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, "The handler failed.");
    EXPECT_EQ(prompts.boxes[0].type & MB_ICONMASK, MB_ICONSTOP);
    helpers::SendTo(Hwnd(&dlg), WM_COMMAND, MAKEWPARAM(kCount, BN_CLICKED), 0);
    EXPECT_EQ(dlg.counted, 3);

    // While input is held back, commands are dropped, and Escape and a close
    // request are reported to the guard instead.
    std::vector<UINT> reported;
    {
        CInputGuard guard([&](UINT message, WPARAM key) {
            reported.push_back(message == WM_KEYDOWN && key == VK_ESCAPE ? VK_ESCAPE : message);
        });
        helpers::SendTo(Hwnd(&dlg), WM_COMMAND, MAKEWPARAM(kCount, BN_CLICKED), 0);
        helpers::PostTo(Hwnd(&dlg), WM_KEYDOWN, VK_ESCAPE, 0);
        helpers::SendTo(Hwnd(&dlg), WM_SYSCOMMAND, SC_CLOSE, 0);
        guard.ProcessPendingEvents();
    }
    EXPECT_EQ(dlg.counted, 3);
    EXPECT_EQ(reported, (std::vector<UINT>{WM_CLOSE, static_cast<UINT>(VK_ESCAPE)}));
    EXPECT_TRUE(dlg.GetSafeHwnd() != nullptr) << "the close request did not close it";

    // The default Cancel command ends the dialog with its result.
    helpers::SendTo(Hwnd(&dlg), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(dlg.ModalResult(), IDCANCEL);
    AfxSetResourceTable(&BackupResources());
}

} // namespace
