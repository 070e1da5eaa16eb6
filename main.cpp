#include <QApplication>

#include "DesktopServices.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    DesktopServices desktop;
    platform::setServices(&desktop);
    return 0;
}
