// A layout table as the system's in-memory dialog template (DLGTEMPLATEEX).
#pragma once

#include "platform/afx/resources.h"

#include <cstdint>
#include <vector>

// The template's words. The layout's 8-point face becomes the system's dialog
// face ("MS Shell Dlg") at the layout's size, so that dialog units follow the
// system's font and scale. Statics that show an icon get no text; the icon is
// set when the dialog starts.
std::vector<std::uint16_t> BuildDialogLayout(const DialogTemplate& layout);

// The face the dialogs are shown in.
inline constexpr char kDialogFace[] = "MS Shell Dlg";
// DS_SETFONT with DS_FIXEDSYS: the system's shell dialog font.
constexpr DWORD kShellFontStyle = 0x0048;
