// The system's message boxes and open and save dialogs.
#include "platform/afx/prompts.h"

#include "common/afx_backend.h"
#include "system_window.h"
#include "text.h"

#include "../system.h"

namespace {

win::Window WindowOf(CWnd* owner) {
    return owner != nullptr ? static_cast<win::Window>(owner->GetSafeHwnd()) : nullptr;
}

class SystemBoxes : public CUserPrompts {
public:
    // The system's box has no part shown on request: the details follow the
    // text after an empty line.
    int MessageBox(CWnd* owner, const CString& text, const CString& caption, UINT type,
                   const CString& details) override {
        std::wstring shown = WideOfDisplayText(text);
        if (!details.empty()) {
            shown.append(L"\n\n").append(WideOfDisplayText(details));
        }
        const int result = win::ShowMessageBox(WindowOf(owner), shown, WideOfAnsi(caption), type);
        return result == IDOK ? IDOK : IDCANCEL;
    }

    bool ChooseFile(CWnd* owner, bool open, const CString& filter, DWORD flags,
                    CString& path) override {
        std::wstring pairs;
        for (const auto& [name, pattern] : ParseFileFilter(filter)) {
            pairs.append(WideOfAnsi(name)).push_back(L'\0');
            pairs.append(WideOfAnsi(pattern)).push_back(L'\0');
        }
        pairs.push_back(L'\0');
        std::wstring chosen;
        if (!win::ChooseFile(WindowOf(owner), open, pairs, flags, chosen)) {
            return false;
        }
        // Paths are UTF-8 inside the program, as the file layer takes them.
        path = win::Utf8(chosen);
        return true;
    }
};

} // namespace

CUserPrompts& SystemPrompts() {
    static SystemBoxes boxes;
    return boxes;
}
