#pragma once
// The interactive side of the platform seam on a desktop: Qt's message box and file dialog,
// owned by the window that asks, and Qt's own texts in Japanese.
#include "Services.h"

class QCoreApplication;

class DesktopServices : public platform::SystemServices {
public:
    platform::MsgAnswer messageBox(const platform::MessageBoxRequest& request) override;
    QString openFileDialog(const platform::OpenFileRequest& request) override;
};

// Loads Qt's Japanese translations (qtbase_ja from Qt's translations folder), whatever the
// locale, since the whole interface is Japanese: the file dialog's and the message boxes'
// buttons and labels. False when they are not installed.
bool installQtJapanese(QCoreApplication& app);

// Closes every open message box and dialog, as their Cancel or close box would: a request to
// end the program must not wait behind one.
void closeOpenDialogs();
