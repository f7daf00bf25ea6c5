// Writes the main icon as PNG files for the desktop: 16 and 32 pixels from the
// same sixteen-colour pixels the program draws, the larger sizes rendered from
// the scalable picture of the same icon.
#include "platform/afx.h"
#include "platform/qt/widgets.h"
#include "resource.h"
#include "resources.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <string>

namespace {

bool Save(const QImage& image, const std::string& folder, int size) {
    const std::string path = folder + "/bc245xlt-" + std::to_string(size) + ".png";
    if (!image.save(QString::fromStdString(path), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER ICON.svg\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication toolkit(argc, argv);
    AfxSetResourceTable(&BackupResources());
    const QIcon& icon = AfxIconImage(AfxLoadIcon(IDI_MAIN_ICON));
    const std::string folder = argv[1];
    for (const int size : {16, 32}) {
        if (!Save(icon.pixmap(size, size).toImage(), folder, size)) {
            return 1;
        }
    }
    QSvgRenderer picture(QString::fromLocal8Bit(argv[2]));
    if (!picture.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    for (const int size : {48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        picture.render(&painter);
        painter.end();
        if (!Save(image, folder, size)) {
            return 1;
        }
    }
    return 0;
}
