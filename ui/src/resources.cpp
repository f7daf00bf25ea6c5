#include "resources.h"

#include "resource.h"

#include "core/version.h"

namespace {

// The main icon, 16 colours: a hand-held scanner with its display and keys.
IconImage MainIcon32() {
    return {32,
            {
                "........99......................", "........99......................",
                "........00......................", "........00......................",
                "........00......................", "........00........0000..........",
                "........00........0880..........", "........00........0880..........",
                ".....0000000000000000000000.....", ".....0777777777777777777770.....",
                ".....0788888888888888888880.....", ".....0780000000000000000880.....",
                ".....0780A222A2A2A222AA0880.....", ".....0780AAA2A2A2A2AAAA0880.....",
                ".....0780A222A222A222AA0880.....", ".....0780A2AAAAA2AAA2AA0880.....",
                ".....0780A222AAA2A222AA0880.....", ".....0780AAAAAAAAAAAAAA0880.....",
                ".....0780000000000000000880.....", ".....0788888888888888888880.....",
                ".....0788888888888888888880.....", ".....0788FFFF8FFFF8FFFF8080.....",
                ".....0788777787777877778080.....", ".....0788888888888888888080.....",
                ".....0788FFFF8FFFF8FFFF8080.....", ".....0788777787777877778080.....",
                ".....0788888888888888888080.....", ".....0788FFFF8FFFF8FFFF8080.....",
                ".....0788777787777877778080.....", ".....0788888888888888888080.....",
                ".....0788888888888888888880.....", ".....0000000000000000000000.....",
            }};
}

IconImage MainIcon16() {
    return {16,
            {
                "....9...........",
                "....0...........",
                "....0....00.....",
                "....0....00.....",
                "..000000000000..",
                "..077777777770..",
                "..080000000080..",
                "..080A2A2AA080..",
                "..080A2A2AA080..",
                "..080000000080..",
                "..088888888880..",
                "..08FF8FF8FF80..",
                "..088888888880..",
                "..08FF8FF8FF80..",
                "..088888888880..",
                "..000000000000..",
            }};
}

DialogTemplate MainDialog() {
    constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP;
    constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP;
    constexpr DWORD kLine = WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ;
    return {
        "BC245XLT Morvane Utility",
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE | DS_SETFONT,
        WS_EX_APPWINDOW,
        "MS Sans Serif",
        8,
        317,
        132,
        {
            {WC_BUTTON, IDCANCEL, "Quit", 260, 111, 50, 14, kButton},
            {WC_PROGRESS, IDC_PROGRESS, "Progress1", 7, 115, 246, 10,
             WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH},
            {WC_EDIT, IDC_DESCRIPTION, "", 52, 7, 200, 13,
             WS_CHILD | WS_VISIBLE | ES_LEFT | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
            {WC_BUTTON, IDC_SEND, "Send Data", 260, 37, 50, 14, kButton},
            {WC_BUTTON, IDC_GET, "Get Data", 260, 53, 50, 14, kButton},
            {WC_BUTTON, IDC_SAVE, "Save", 260, 90, 50, 14, kButton},
            {WC_BUTTON, IDC_LOAD, "Load", 260, 74, 50, 14, kButton},
            {WC_COMBOBOX,
             IDC_PORT,
             "",
             260,
             19,
             50,
             85,
             WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP,
             0,
             {"COM1", "COM2", "COM3", "COM4"}},
            {WC_STATIC, -1, "Description:", 7, 8, 38, 8, kLabel},
            {WC_STATIC, -1, "Memory Contents:", 7, 23, 58, 8, kLabel},
            {WC_STATIC, -1, "COM Port:", 261, 10, 34, 8, kLabel},
            {WC_STATIC, -1, "", 260, 107, 50, 1, kLine},
            {WC_STATIC, -1, "", 261, 70, 49, 1, kLine},
            {WC_STATIC, IDC_STATUS, "", 7, 106, 245, 8, kLabel},
            {WC_LISTBOX, IDC_CONTENTS, "", 7, 32, 245, 70,
             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY |
                 LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT | LBS_NOSEL},
        },
    };
}

DialogTemplate AboutDialog() {
    return {
        nullptr,
        WS_POPUP | DS_MODALFRAME | DS_SETFONT,
        0,
        "MS Sans Serif",
        8,
        235,
        54,
        {
            {WC_STATIC, -1, "", 11, 17, 20, 20, WS_CHILD | WS_VISIBLE | SS_ICON,
             static_cast<int>(IDI_MAIN_ICON)},
            {WC_STATIC, -1, kProductNameAndVersion, 40, 10, 132, 11,
             WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | WS_GROUP},
            {WC_STATIC, -1,
             "Copyright \xA9 2026 the BC245XLT Morvane Utility authors\n"
             "Contact: bc245xlt-utility@users.noreply.example\n"
             "Web: https://bc245xlt-utility.example/",
             40, 22, 188, 26, WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP},
            {WC_BUTTON, IDOK, "OK", 178, 7, 50, 14,
             WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP},
        },
    };
}

} // namespace

const ResourceTable& BackupResources() {
    static const ResourceTable table = {
        {{IDD_ABOUT_DIALOG, AboutDialog()}, {IDD_MAIN_DIALOG, MainDialog()}},
        {{IDS_ABOUT_ITEM, "&About BC245XLT Morvane Utility..."}},
        {{IDI_MAIN_ICON, {MainIcon32(), MainIcon16()}}},
    };
    return table;
}
