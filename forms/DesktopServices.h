#pragma once
// The interactive side of the platform seam on a desktop: Qt's message box and file dialog.
#include "Services.h"

class DesktopServices : public platform::SystemServices {
public:
    platform::MsgAnswer messageBox(const platform::MessageBoxRequest& request) override;
    QString openFileDialog(const platform::OpenFileRequest& request) override;
};
