// What a dialog does with the commands and close requests that reach it while
// input is held back.
#pragma once

#include "platform/afx/constants.h"

// True when the message is to be dropped because input is held back; a close
// request is first reported to the guard.
bool HoldBack(UINT message, WPARAM wParam);
