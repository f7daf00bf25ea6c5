// The system's icons behind the framework's.
#pragma once

#include "platform/afx/resources.h"
#include "system_window.h"

// The icon at the system's large (32-pixel) or small (16-pixel) size.
win::Icon IconHandle(HICON icon, bool big);
