// Writes the main icon as PNG files for the desktop, from the same pixels the
// program draws: 16 and 32 pixels as drawn, 64 and 128 enlarged pixel by pixel.
#include "platform/afx.h"
#include "resource.h"
#include "resources.h"

#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication toolkit(argc, argv);
    AfxSetResourceTable(&BackupResources());
    const QIcon& icon = AfxIconImage(AfxLoadIcon(IDI_MAIN_ICON));
    const std::string folder = argv[1];
    for (const int size : {16, 32, 64, 128}) {
        const int source = size == 16 ? 16 : 32;
        const QImage image = icon.pixmap(source, source)
                                 .toImage()
                                 .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const std::string path = folder + "/bc245xlt-" + std::to_string(size) + ".png";
        if (!image.save(QString::fromStdString(path), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
