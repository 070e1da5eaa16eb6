// Starting the program creates the main window; its load handler does all start-up work.
#include <QApplication>

#include "DesktopServices.h"
#include "frmStart.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    DesktopServices desktop;
    platform::setServices(&desktop);

    frmStart form;
    if (!form.Form_Load())
        return 0; // start-up ended on a failure path; the form has unloaded itself
    form.show();
    const int code = app.exec();
    platform::setServices(nullptr);
    return code;
}
