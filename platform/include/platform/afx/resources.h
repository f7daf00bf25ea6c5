// Resources: dialog layouts, strings and icons, looked up by id in the table
// the application registers; icons are drawn from 16-colour pixel rows.
#pragma once

#include "platform/afx/constants.h"

#include <string>
#include <vector>

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
