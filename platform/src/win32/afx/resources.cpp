// Icons made from the registered table's pixel rows, at the system's sizes.
#include "platform/afx/resources.h"

#include "common/afx_backend.h"
#include "icons.h"

#include <map>
#include <utility>

struct CIcon {
    win::Icon big = nullptr;
    win::Icon small = nullptr;
};

namespace {
constexpr int kLargeIcon = 11; // SM_CXICON
constexpr int kSmallIcon = 49; // SM_CXSMICON
} // namespace

HICON AfxLoadIcon(UINT id) {
    static std::map<UINT, CIcon> loaded;
    if (auto found = loaded.find(id); found != loaded.end()) {
        return &found->second;
    }
    const IconResource* entry = FindIconResource(id);
    if (entry == nullptr) {
        return nullptr;
    }
    std::vector<std::pair<int, std::vector<std::uint32_t>>> images;
    for (const IconImage& image : entry->images) {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.size * image.size), 0);
        for (int y = 0; y < image.size && y < static_cast<int>(image.rows.size()); ++y) {
            const std::string& row = image.rows[static_cast<std::size_t>(y)];
            for (int x = 0; x < image.size && x < static_cast<int>(row.size()); ++x) {
                pixels[static_cast<std::size_t>(y * image.size + x)] =
                    IconPixelColour(row[static_cast<std::size_t>(x)]);
            }
        }
        images.emplace_back(image.size, std::move(pixels));
    }
    CIcon& icon = loaded[id];
    icon.big = win::CreateIcon(images, win::SystemMetric(kLargeIcon));
    icon.small = win::CreateIcon(images, win::SystemMetric(kSmallIcon));
    return &icon;
}

win::Icon IconHandle(HICON icon, bool big) {
    if (icon == nullptr) {
        return nullptr;
    }
    return big ? icon->big : icon->small;
}
