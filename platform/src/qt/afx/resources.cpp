// Icons drawn from the registered table's pixel rows, as the toolkit's icons.
#include "platform/afx/resources.h"
#include "platform/qt/widgets.h"

#include "common/afx_backend.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>

struct CIcon {
    QIcon icon;
};

namespace {

QImage RenderIconImage(const IconImage& source) {
    const std::vector<std::uint32_t> pixels = IconPixels(source);
    QImage image(source.size, source.size, QImage::Format_ARGB32);
    for (int y = 0; y < source.size; ++y) {
        for (int x = 0; x < source.size; ++x) {
            image.setPixel(x, y, pixels[static_cast<std::size_t>(y * source.size + x)]);
        }
    }
    return image;
}

} // namespace

HICON AfxLoadIcon(UINT id) {
    return LoadIconOnce<CIcon>(id, [](const IconResource& entry, CIcon& icon) {
        for (const IconImage& image : entry.images) {
            icon.icon.addPixmap(QPixmap::fromImage(RenderIconImage(image)));
        }
    });
}

const QIcon& AfxIconImage(HICON icon) {
    static const QIcon none;
    return icon != nullptr ? icon->icon : none;
}
