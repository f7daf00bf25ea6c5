// Icons made from the registered table's pixel rows, at the system's sizes.
#include "platform/afx/resources.h"

#include "common/afx_backend.h"
#include "icons.h"

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
    return LoadIconOnce<CIcon>(id, [](const IconResource& entry, CIcon& icon) {
        std::vector<std::pair<int, std::vector<std::uint32_t>>> images;
        for (const IconImage& image : entry.images) {
            images.emplace_back(image.size, IconPixels(image));
        }
        icon.big = win::CreateIcon(images, win::SystemMetric(kLargeIcon));
        icon.small = win::CreateIcon(images, win::SystemMetric(kSmallIcon));
    });
}

win::Icon IconHandle(HICON icon, bool big) {
    if (icon == nullptr) {
        return nullptr;
    }
    return big ? icon->big : icon->small;
}
