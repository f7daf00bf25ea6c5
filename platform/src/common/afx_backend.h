// What the framework's shared code asks of each system's backend, and the
// shared lookups the backends build on.
#pragma once

#include "platform/afx/prompts.h"
#include "platform/afx/resources.h"

#include <cstdint>
#include <map>
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

// The icon of that id, made by make(resource, icon) the first time it is asked
// for and kept for the program's life; null when there is no such icon.
template <class Icon, class Make> Icon* LoadIconOnce(UINT id, Make make) {
    static std::map<UINT, Icon> loaded;
    if (auto found = loaded.find(id); found != loaded.end()) {
        return &found->second;
    }
    const IconResource* entry = FindIconResource(id);
    if (entry == nullptr) {
        return nullptr;
    }
    Icon& icon = loaded[id];
    make(*entry, icon);
    return &icon;
}
