// Writes the configurator's icon as PNG files for the desktop's icon theme:
//   make_icon FOLDER SIZE...   ->   FOLDER/SIZExSIZE.png
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/qt/AppIcon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: make_icon FOLDER SIZE...\n", stderr);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "make_icon: '%s' is not a size from 8 to 1024\n", argv[i]);
            return 2;
        }
        const std::string path =
            std::string(argv[1]) + "/" + std::to_string(size) + "x" + std::to_string(size) + ".png";
        if (!qtui::DrawAppIcon(size).save(QString::fromStdString(path), "PNG")) {
            std::fprintf(stderr, "make_icon: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
