// Message boxes and file dialogs, behind one interface that tests replace
// with a scripted one.
#pragma once

#include "platform/afx/wnd.h"

#include <utility>
#include <vector>

class CUserPrompts {
public:
    virtual ~CUserPrompts() = default;
    // details, when not empty, is a further part the box shows on request.
    virtual int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type,
                           const CString& details) = 0;
    // Returns true with the chosen full path, or false when the user gave none.
    virtual bool ChooseFile(CWnd* owner, bool open, const CString& filter, DWORD flags,
                            CString& path) = 0;
};

// Replaces the prompts (null restores the toolkit's); returns the previous one.
CUserPrompts* AfxSetUserPrompts(CUserPrompts* prompts);
CUserPrompts& AfxGetUserPrompts();

// A box modal to the main window, captioned with the application's name. A box
// of type MB_OK or MB_OKCANCEL that names no icon gets the exclamation mark.
int AfxMessageBox(const CString& text, UINT type = MB_OK, const CString& details = CString());

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
