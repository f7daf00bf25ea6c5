// What the framework's shared code asks of each system's backend, and the
// shared lookups the backends build on.
#pragma once

#include "platform/afx/prompts.h"
#include "platform/afx/resources.h"

#include <cstdint>
#include <vector>

// Makes sure the system keeps no settings for the application (it keeps none
// of its own).
void KeepNoProfile();

// The system's message boxes and file dialogs.
CUserPrompts& SystemPrompts();

// The registered icon of that id, or null.
const IconResource* FindIconResource(UINT id);
// An icon image's pixels, 0xAARRGGBB row by row from the top; 0 (transparent)
// for '.', for anything that is not a palette digit and where a row is short.
std::vector<std::uint32_t> IconPixels(const IconImage& image);
