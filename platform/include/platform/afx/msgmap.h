// Message maps: a table per class of message, notification code, control id
// and handler, walked from a class's own map to its bases.
#pragma once

#include "platform/afx/constants.h"
#include "platform/afx/resources.h"

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
