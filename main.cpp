// Starting the program creates the main window; its load handler does all start-up work.
#include <QApplication>
#include <QDir>

#include <cstdio>

#include "CommandLineOptions.h"
#include "DesktopServices.h"
#include "Memory.h"
#include "PictureCache.h"
#include "Services.h"
#include "Signals.h"
#include "frmStart.h"

int main(int argc, char* argv[]) {
    platform::returnPictureMemoryPromptly();
    const QStringList arguments = commandArguments(argc, argv);
    // --help and --version answer on the terminal, before any display or window is needed.
    if (const std::optional<QString> answer = terminalAnswer(arguments)) {
        std::fputs(answer->toLocal8Bit().constData(), stdout);
        return 0;
    }
    // The picture named on the command line decodes while the program starts.
    auto pictures = std::make_unique<display::PictureCache>();
    frmStart::readAheadFirstPicture(
        *pictures, platform::commandLineFromArguments(arguments, QDir::currentPath()));

    QApplication app(argc, argv);
    // Ties the window to the installed desktop entry (its name and icon in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pixelion.Pixelion"));
    installQtJapanese(app);
    DesktopServices desktop;
    platform::setServices(&desktop);

    frmStart form(std::move(pictures));
    // A request to end from outside, or the desktop session ending, closes the window as the
    // user would, so the settings are written back and the log is ended: first any box or
    // dialog open, then, once the code that opened it has gone on, the window.
    // During start-up the window closes once its load handler has returned.
    bool loading = true, endRequested = false;
    const auto end = [&form, &loading, &endRequested] {
        endRequested = true;
        closeOpenDialogs();
        if (!loading)
            QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
    };
    platform::installTerminationHandler(end);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, end);
    if (!form.Form_Load())
        return 0; // start-up ended on a failure path; the form has unloaded itself
    loading = false;
    if (endRequested) {
        form.close();
        return 0;
    }
    form.show();
    // Showing the window shows its first picture, which lets pending events run: a request to
    // end may have unloaded it there already, and then there is no loop left to run.
    const int code = form.isUnloaded() ? 0 : app.exec();
    platform::setServices(nullptr);
    return code;
}
