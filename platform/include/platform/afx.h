// A small dialog framework over Qt Widgets: an application object, windows and
// controls addressed by id, dialogs built from layout tables in dialog units,
// message maps dispatched from one place, message boxes and file dialogs.
// It knows nothing of what the dialogs built on it are for.
#pragma once

#include "platform/afx/app.h"
#include "platform/afx/constants.h"
#include "platform/afx/dialog.h"
#include "platform/afx/input_guard.h"
#include "platform/afx/msgmap.h"
#include "platform/afx/prompts.h"
#include "platform/afx/resources.h"
#include "platform/afx/wnd.h"
