// Identifiers of the dialogs, controls, strings and icons.
#pragma once

constexpr unsigned IDD_ABOUT_DIALOG = 100;
constexpr unsigned IDS_ABOUT_ITEM = 101;
constexpr unsigned IDD_MAIN_DIALOG = 102;
constexpr unsigned IDI_MAIN_ICON = 128;
constexpr unsigned IDM_ABOUT = 0x0010;

constexpr int IDC_PROGRESS = 1000;
constexpr int IDC_DESCRIPTION = 1001;
constexpr int IDC_SEND = 1003;
constexpr int IDC_GET = 1004;
constexpr int IDC_SAVE = 1005;
constexpr int IDC_LOAD = 1006;
constexpr int IDC_PORT = 1007;
constexpr int IDC_STATUS = 1008;
constexpr int IDC_CONTENTS = 1009;
