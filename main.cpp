// Starting the program creates the main window; its load handler does all start-up work.
#include <QApplication>

#include "DesktopServices.h"
#include "frmStart.h"
#include "platform/Signals.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    DesktopServices desktop;
    platform::setServices(&desktop);

    frmStart form;
    if (!form.Form_Load())
        return 0; // start-up ended on a failure path; the form has unloaded itself
    // A request to end from outside, or the desktop session ending, closes the window as the
    // user would, so the settings are written back and the log is ended.
    platform::installTerminationHandler([&form] { form.close(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form] { form.close(); });
    form.show();
    const int code = app.exec();
    platform::setServices(nullptr);
    return code;
}
