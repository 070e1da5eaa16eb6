#include "DesktopServices.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

MsgAnswer DesktopServices::messageBox(const platform::MessageBoxRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(request.title.isEmpty() ? platform::kProgramTitle : request.title);
    box.setText(QString(request.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (request.icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if (request.buttons == MsgButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel); // closing the box counts as Cancel
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
}

QString DesktopServices::openFileDialog(const platform::OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialFolder);
    dialog.setFileMode(QFileDialog::ExistingFile); // the file must exist
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(request.nameFilters);
    if (!request.nameFilters.isEmpty())
        dialog.selectNameFilter(request.nameFilters.first());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}
