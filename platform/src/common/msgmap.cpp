// Message maps: finding the entry for a message and calling its handler.
#include "platform/afx/msgmap.h"

namespace {
const AFX_MSGMAP_ENTRY kNoEntries[] = {END_MESSAGE_MAP()};
const AFX_MSGMAP kCmdTargetMap = {nullptr, kNoEntries};
} // namespace

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return &kCmdTargetMap;
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, WPARAM wParam) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->pBaseMap) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
            if (entry->nMessage != message) {
                continue;
            }
            if (message == WM_COMMAND &&
                (entry->nCode != HIWORD(wParam) || entry->nID != LOWORD(wParam))) {
                continue;
            }
            return entry;
        }
    }
    return nullptr;
}

LRESULT CCmdTarget::CallHandler(const AFX_MSGMAP_ENTRY& entry, WPARAM wParam, LPARAM lParam) {
    switch (entry.nSig) {
    case AfxSig_vv:
        (this->*entry.pfn.pfn_vv)();
        return 0;
    case AfxSig_vwl:
        (this->*entry.pfn.pfn_vwl)(static_cast<UINT>(wParam), lParam);
        return 0;
    case AfxSig_hv:
        return reinterpret_cast<LRESULT>((this->*entry.pfn.pfn_hv)());
    case AfxSig_end:
        break;
    }
    return 0;
}
