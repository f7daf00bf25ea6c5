// The application's resources: the registered table, looked up by id.
#include "platform/afx/resources.h"

#include "common/afx_backend.h"

namespace {
const ResourceTable* resources = nullptr;
} // namespace

void AfxSetResourceTable(const ResourceTable* table) {
    resources = table;
}

const DialogTemplate* AfxFindDialogTemplate(UINT id) {
    if (resources != nullptr) {
        for (const DialogResource& entry : resources->dialogs) {
            if (entry.id == id) {
                return &entry.dialog;
            }
        }
    }
    return nullptr;
}

bool AfxLoadString(UINT id, CString& text) {
    text.clear();
    if (resources != nullptr) {
        for (const StringResource& entry : resources->strings) {
            if (entry.id == id) {
                text = entry.text;
                return !text.empty();
            }
        }
    }
    return false;
}

const IconResource* FindIconResource(UINT id) {
    if (resources != nullptr) {
        for (const IconResource& entry : resources->icons) {
            if (entry.id == id) {
                return &entry;
            }
        }
    }
    return nullptr;
}

namespace {

std::uint32_t IconPixelColour(char digit) {
    static constexpr std::uint32_t kPalette[16] = {
        0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
        0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
        0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
    };
    const int index = digit >= '0' && digit <= '9'   ? digit - '0'
                      : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                     : -1;
    return index < 0 ? 0 : kPalette[index];
}

} // namespace

std::vector<std::uint32_t> IconPixels(const IconImage& image) {
    const int size = image.size > 0 ? image.size : 0;
    std::vector<std::uint32_t> pixels(
        static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0);
    for (int y = 0; y < size && y < static_cast<int>(image.rows.size()); ++y) {
        const std::string& row = image.rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < size && x < static_cast<int>(row.size()); ++x) {
            pixels[static_cast<std::size_t>(y * size + x)] =
                IconPixelColour(row[static_cast<std::size_t>(x)]);
        }
    }
    return pixels;
}
