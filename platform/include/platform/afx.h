// A small dialog framework over Qt Widgets: an application object, windows and
// controls addressed by id, dialogs built from layout tables in dialog units,
// message maps dispatched from one place, message boxes and file dialogs.
// It knows nothing of what the dialogs built on it are for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QWidget;
class QFont;
class QPainter;
class QIcon;

using UINT = unsigned int;
using BOOL = int;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;

// All text of this framework is 8-bit, single-byte Windows-1252 text.
using CString = std::string;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
    return static_cast<WPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr LPARAM MAKELPARAM(unsigned low, unsigned high) {
    return static_cast<LPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr unsigned LOWORD(std::uintptr_t v) {
    return static_cast<unsigned>(v & 0xFFFFu);
}
constexpr unsigned HIWORD(std::uintptr_t v) {
    return static_cast<unsigned>((v >> 16) & 0xFFFFu);
}

// Command ids and message-box results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr UINT ID_HELP = 0xE146;

// Message-box types.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_TYPEMASK = 0x000F;
constexpr UINT MB_ICONSTOP = 0x0010;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_ICONMASK = 0x00F0;
constexpr UINT MB_SYSTEMMODAL = 0x1000;

// Messages.
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_QUERYDRAGICON = 0x0037;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_ICONERASEBKGND = 0x0027;
constexpr UINT BN_CLICKED = 0;
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT PBM_SETRANGE = 0x0401;
constexpr UINT PBM_SETPOS = 0x0402;
constexpr UINT PBM_SETSTEP = 0x0404;
constexpr UINT PBM_STEPIT = 0x0405;
constexpr UINT PBM_GETPOS = 0x0408;
constexpr UINT SC_CLOSE = 0xF060;
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

// Menu item flags.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_SEPARATOR = 0x0800;

// Window and control styles, with their customary values.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr DWORD CBS_SORT = 0x100;
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_ETCHEDHORZ = 0x10;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOPREFIX = 0x80;
constexpr DWORD LBS_NOTIFY = 0x1;
constexpr DWORD LBS_USETABSTOPS = 0x80;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x100;
constexpr DWORD LBS_NOSEL = 0x4000;
constexpr DWORD PBS_SMOOTH = 0x1;

// Window classes of the layout tables.
inline constexpr const char* WC_BUTTON = "BUTTON";
inline constexpr const char* WC_EDIT = "EDIT";
inline constexpr const char* WC_COMBOBOX = "COMBOBOX";
inline constexpr const char* WC_LISTBOX = "LISTBOX";
inline constexpr const char* WC_STATIC = "STATIC";
inline constexpr const char* WC_PROGRESS = "msctls_progress32";

// ---------------------------------------------------------------------------
// Resources

struct CIcon;
using HICON = CIcon*;

// One image of an icon: 16 colours, one hexadecimal digit a pixel indexing the
// standard 16-colour palette, '.' for a transparent pixel.
struct IconImage {
    int size = 0;
    std::vector<std::string> rows;
};

struct ControlTemplate {
    const char* windowClass;
    int id;
    const char* text;
    int x, y, cx, cy;
    DWORD style;
    int iconId = 0;                         // for SS_ICON statics
    std::vector<const char*> initStrings{}; // list entries added while the dialog initialises
};

struct DialogTemplate {
    const char* caption;
    DWORD style;
    DWORD exStyle;
    const char* fontName;
    int pointSize;
    int cx, cy; // client size in dialog units
    std::vector<ControlTemplate> controls;
};

struct StringResource {
    UINT id;
    const char* text;
};

struct IconResource {
    UINT id;
    std::vector<IconImage> images;
};

struct DialogResource {
    UINT id;
    DialogTemplate dialog;
};

struct ResourceTable {
    std::vector<DialogResource> dialogs;
    std::vector<StringResource> strings;
    std::vector<IconResource> icons;
};

// The application's resources; must be set before any dialog is built.
void AfxSetResourceTable(const ResourceTable* table);
const DialogTemplate* AfxFindDialogTemplate(UINT id);
bool AfxLoadString(UINT id, CString& text);
HICON AfxLoadIcon(UINT id);
// The image of an icon at the given pixel size, for drawing and tests.
const QIcon& AfxIconImage(HICON icon);

// ---------------------------------------------------------------------------
// Dialog units

struct DialogBaseUnits {
    int cx; // average character width in pixels
    int cy; // character height in pixels
};

struct PixelRect {
    int left, top, width, height;
};

// The desktop's sans-serif face at the given size: the stand-in for the
// layouts' "MS Sans Serif".
QFont DialogFont(int pointSize);
DialogBaseUnits BaseUnitsOf(const QFont& font);
int MulDiv(int number, int numerator, int denominator);
PixelRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy);

// ---------------------------------------------------------------------------
// Errors that reach the general error report

class CException {
public:
    virtual ~CException() = default;
    // The text shown by the general error report; empty when the error has none.
    virtual CString GetErrorMessage() const = 0;
};

// ---------------------------------------------------------------------------
// Message maps

class CCmdTarget;
using AFX_PMSG = void (CCmdTarget::*)();

// A handler of any of the signatures a map entry may name.
union AFX_PMSGT {
    AFX_PMSG pfn_vv;
    void (CCmdTarget::*pfn_vwl)(UINT, LPARAM);
    HICON (CCmdTarget::*pfn_hv)();
};

enum AfxSig : int {
    AfxSig_end = 0,
    AfxSig_vv,  // void ()
    AfxSig_vwl, // void (UINT, LPARAM)
    AfxSig_hv,  // HICON ()
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    AfxSig nSig;
    AFX_PMSGT pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* pBaseMap;
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Finds the map entry for a message, walking from this class's map to its bases.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, WPARAM wParam) const;
    // Calls the handler of an entry; returns what the handler returns, if anything.
    LRESULT CallHandler(const AFX_MSGMAP_ENTRY& entry, WPARAM wParam, LPARAM lParam);
};

template <class T> AFX_MSGMAP_ENTRY ON_BN_CLICKED(UINT id, void (T::*handler)()) {
    return {WM_COMMAND, BN_CLICKED, id, AfxSig_vv, {.pfn_vv = static_cast<AFX_PMSG>(handler)}};
}
template <class T> AFX_MSGMAP_ENTRY ON_COMMAND(UINT id, void (T::*handler)()) {
    return ON_BN_CLICKED(id, handler);
}
template <class T> AFX_MSGMAP_ENTRY ON_WM_PAINT(void (T::*handler)()) {
    return {WM_PAINT, 0, 0, AfxSig_vv, {.pfn_vv = static_cast<AFX_PMSG>(handler)}};
}
template <class T> AFX_MSGMAP_ENTRY ON_WM_SYSCOMMAND(void (T::*handler)(UINT, LPARAM)) {
    using Base = void (CCmdTarget::*)(UINT, LPARAM);
    return {WM_SYSCOMMAND, 0, 0, AfxSig_vwl, {.pfn_vwl = static_cast<Base>(handler)}};
}
template <class T> AFX_MSGMAP_ENTRY ON_WM_QUERYDRAGICON(HICON (T::*handler)()) {
    using Base = HICON (CCmdTarget::*)();
    return {WM_QUERYDRAGICON, 0, 0, AfxSig_hv, {.pfn_hv = static_cast<Base>(handler)}};
}
inline AFX_MSGMAP_ENTRY END_MESSAGE_MAP() {
    return {0, 0, 0, AfxSig_end, {.pfn_vv = nullptr}};
}

// ---------------------------------------------------------------------------
// Windows

class CMenu {
public:
    struct Item {
        UINT flags;
        UINT id;
        CString text;
    };
    BOOL AppendMenu(UINT flags, UINT id = 0, const char* text = nullptr);
    const std::vector<Item>& Items() const { return m_items; }

private:
    std::vector<Item> m_items;
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(QWidget* widget, const char* windowClass, DWORD style, int id);
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    void SetWindowText(const CString& text);
    void GetWindowText(CString& text) const;
    BOOL EnableWindow(BOOL enable);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    QWidget* Widget() const { return m_widget; }
    int GetDlgCtrlID() const { return m_id; }
    DWORD GetStyle() const { return m_style; }
    const CString& WindowClass() const { return m_class; }

protected:
    // The one place where messages meet their handlers. An error that escapes
    // a handler ends that handler and is shown by the general error report.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Hands the message being handled to the default handling.
    LRESULT Default();
    void Attach(QWidget* widget, const char* windowClass, DWORD style, int id);

private:
    LRESULT ControlMessage(UINT message, WPARAM wParam, LPARAM lParam);

    QWidget* m_widget = nullptr;
    CString m_class;
    DWORD m_style = 0;
    int m_id = 0;
    int m_rangeMin = 0, m_rangeMax = 100, m_step = 10, m_pos = 0; // progress bars
    struct Current {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    } m_current;

    friend class CDialogWindow;
};

class CDialogWindow;

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);
    ~CDialog() override;

    // Creates the window and its controls, initialises it and shows it without
    // a modal loop of its own. Returns false when the layout is missing.
    bool Create();
    // Creates the window, runs it modally and destroys it; returns the result
    // given to EndDialog, or -1 when it could not be created.
    INT_PTR DoModal();
    void EndDialog(int result);
    void DestroyWindow();

    CWnd* GetDlgItem(int id) const;
    CMenu* GetSystemMenu(BOOL revert);
    // Control windows in layout order, addressed or not.
    const std::vector<std::unique_ptr<CWnd>>& Controls() const { return m_controls; }
    const DialogTemplate* Template() const { return m_template; }
    DialogBaseUnits BaseUnits() const { return m_units; }
    int ModalResult() const { return m_result; }

    const AFX_MSGMAP* GetMessageMap() const override;

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    // Asked when the pointer rests on a control: its tooltip text, worked out
    // at that moment. False shows none.
    virtual BOOL OnToolTipText(int id, CString& text);
    virtual void OnOK();
    virtual void OnCancel();

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Paints the standard dialog background; for WM_PAINT's default handling.
    void DefaultPaint();

private:
    bool CreateDialogWindow();

    UINT m_templateId;
    CWnd* m_parent;
    const DialogTemplate* m_template = nullptr;
    CDialogWindow* m_window = nullptr;
    std::vector<std::unique_ptr<CWnd>> m_controls;
    std::unique_ptr<CMenu> m_systemMenu;
    DialogBaseUnits m_units{};
    int m_result = 0;

    friend class CDialogWindow;
    friend class CPaintDC;
};

// A painter for the window being painted, valid inside a WM_PAINT handler.
class CPaintDC {
public:
    explicit CPaintDC(CDialog* dialog);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    QPainter* Painter() const { return m_painter.get(); }
    LPARAM Handle() const { return reinterpret_cast<LPARAM>(m_painter.get()); }

private:
    std::unique_ptr<QPainter> m_painter;
};

struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

void GetClientRect(const CWnd* window, CRect& rect);
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
int GetSystemMetrics(int index);
void DrawIcon(LPARAM paintHandle, int x, int y, HICON icon);

// ---------------------------------------------------------------------------
// Application

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    virtual BOOL InitInstance() { return FALSE; }
    void OnHelp() {}
    BOOL Enable3dControlsStatic() { return TRUE; }

    CString m_pszAppName;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
CString AfxGetAppName();
CWnd* AfxGetMainWnd();
// Creates the toolkit, names the application after its program file, runs
// InitInstance and returns the process exit status.
int AfxWinMain(int argc, char** argv);

// ---------------------------------------------------------------------------
// Message boxes and file dialogs, behind one replaceable interface

class CUserPrompts {
public:
    virtual ~CUserPrompts() = default;
    virtual int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type) = 0;
    // Returns true with the chosen full path, or false when the user gave none.
    virtual bool ChooseFile(CWnd* owner, bool open, const CString& filter, DWORD flags,
                            CString& path) = 0;
};

// Replaces the prompts (null restores the toolkit's); returns the previous one.
CUserPrompts* AfxSetUserPrompts(CUserPrompts* prompts);
CUserPrompts& AfxGetUserPrompts();

// A box modal to the main window, captioned with the application's name. A box
// of type MB_OK or MB_OKCANCEL that names no icon gets the exclamation mark.
int AfxMessageBox(const CString& text, UINT type = MB_OK);

constexpr DWORD OFN_OVERWRITEPROMPT = 0x2;
constexpr DWORD OFN_HIDEREADONLY = 0x4;

class CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr,
                const char* fileName = nullptr, DWORD flags = OFN_HIDEREADONLY,
                const char* filter = nullptr, CWnd* parent = nullptr);
    INT_PTR DoModal();
    CString GetPathName() const { return m_path; }

private:
    bool m_open;
    DWORD m_flags;
    CString m_filter;
    CWnd* m_parent;
    CString m_path;
};

// Splits "Name|pattern|Name|pattern||" into (name, pattern) pairs.
std::vector<std::pair<CString, CString>> ParseFileFilter(const CString& filter);

// ---------------------------------------------------------------------------
// Transfers on the one thread

// While one exists, user input and close requests to every window are dropped
// (Escape and close requests are remembered as a cancel request), and status
// and progress changes paint at once.
class CTransferScope {
public:
    CTransferScope();
    ~CTransferScope();
    CTransferScope(const CTransferScope&) = delete;
    CTransferScope& operator=(const CTransferScope&) = delete;

    static bool Active();
    // Processes what is pending without letting input through; false once the
    // user asked to cancel.
    static bool PumpWhileWaiting();
};
