// Message boxes and file dialogs as the framework offers them: the system's,
// or the ones a test puts in their place.
#include "platform/afx/prompts.h"

#include "common/afx_backend.h"
#include "platform/afx/app.h"

namespace {

CUserPrompts* currentPrompts = nullptr;

} // namespace

CUserPrompts* AfxSetUserPrompts(CUserPrompts* prompts) {
    CUserPrompts* previous = currentPrompts;
    currentPrompts = prompts;
    return previous;
}

CUserPrompts& AfxGetUserPrompts() {
    return currentPrompts != nullptr ? *currentPrompts : SystemPrompts();
}

int AfxMessageBox(const CString& text, UINT type, const CString& details) {
    if ((type & MB_ICONMASK) == 0 &&
        ((type & MB_TYPEMASK) == MB_OK || (type & MB_TYPEMASK) == MB_OKCANCEL)) {
        type |= MB_ICONEXCLAMATION;
    }
    return AfxGetUserPrompts().MessageBox(AfxGetMainWnd(), text, AfxGetAppName(), type, details);
}

std::vector<std::pair<CString, CString>> ParseFileFilter(const CString& filter) {
    std::vector<std::pair<CString, CString>> pairs;
    std::vector<CString> parts;
    std::size_t start = 0;
    for (std::size_t bar = filter.find('|'); bar != CString::npos; bar = filter.find('|', start)) {
        parts.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2) {
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

CFileDialog::CFileDialog(BOOL openFileDialog, const char*, const char* fileName, DWORD flags,
                         const char* filter, CWnd* parent)
    : m_open(openFileDialog != FALSE), m_flags(flags), m_filter(filter != nullptr ? filter : ""),
      m_parent(parent), m_path(fileName != nullptr ? fileName : "") {}

INT_PTR CFileDialog::DoModal() {
    CWnd* owner = m_parent != nullptr ? m_parent : AfxGetMainWnd();
    CString path;
    if (!AfxGetUserPrompts().ChooseFile(owner, m_open, m_filter, m_flags, path)) {
        return IDCANCEL;
    }
    m_path = path;
    return IDOK;
}