// Resources: the registered table, looked up by id, and icons drawn from it.
#include "platform/afx/resources.h"
#include "platform/qt/widgets.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <map>

struct CIcon {
    QIcon icon;
};

namespace {

const ResourceTable* resources = nullptr;

QColor PaletteColour(char digit) {
    static const QRgb kPalette[16] = {
        0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
        0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
        0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
    };
    const int index = digit >= '0' && digit <= '9'   ? digit - '0'
                      : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                     : -1;
    return index < 0 ? QColor(Qt::transparent) : QColor::fromRgba(kPalette[index]);
}

QImage RenderIconImage(const IconImage& source) {
    QImage image(source.size, source.size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < source.size && y < static_cast<int>(source.rows.size()); ++y) {
        const std::string& row = source.rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < source.size && x < static_cast<int>(row.size()); ++x) {
            image.setPixelColor(x, y, PaletteColour(row[static_cast<std::size_t>(x)]));
        }
    }
    return image;
}

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

HICON AfxLoadIcon(UINT id) {
    static std::map<UINT, CIcon> loaded;
    if (auto found = loaded.find(id); found != loaded.end()) {
        return &found->second;
    }
    if (resources == nullptr) {
        return nullptr;
    }
    for (const IconResource& entry : resources->icons) {
        if (entry.id == id) {
            CIcon& icon = loaded[id];
            for (const IconImage& image : entry.images) {
                icon.icon.addPixmap(QPixmap::fromImage(RenderIconImage(image)));
            }
            return &icon;
        }
    }
    return nullptr;
}

const QIcon& AfxIconImage(HICON icon) {
    static const QIcon none;
    return icon != nullptr ? icon->icon : none;
}