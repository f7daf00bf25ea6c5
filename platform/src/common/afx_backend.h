// What the framework's shared code asks of each system's backend, and the
// shared lookups the backends build on.
#pragma once

#include "platform/afx/prompts.h"
#include "platform/afx/resources.h"

#include <cstdint>

// Makes sure the system keeps no settings for the application (it keeps none
// of its own).
void KeepNoProfile();

// The system's message boxes and file dialogs.
CUserPrompts& SystemPrompts();

// The registered icon of that id, or null.
const IconResource* FindIconResource(UINT id);
// The colour of one pixel of an icon image's row, 0xAARRGGBB; 0 (transparent)
// for '.' and anything that is not a palette digit.
std::uint32_t IconPixelColour(char digit);
