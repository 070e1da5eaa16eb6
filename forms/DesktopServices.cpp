#include "DesktopServices.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include "LoadedForms.h"
#include "Presentation.h"

using platform::MsgAnswer;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

// The window a box or dialog belongs to: modal to it and centred on it, whether or not the
// program has the focus.
QWidget* ownerWindow() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    // Over the full-screen presentation, not behind it.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<Presentation*>(window) && window->isVisible())
            return window;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    const QList<QWidget*> forms = loadedForms();
    for (auto it = forms.crbegin(); it != forms.crend(); ++it)
        if ((*it)->isVisible())
            return *it;
    return nullptr;
}

} // namespace

MsgAnswer DesktopServices::messageBox(const platform::MessageBoxRequest& request) {
    QMessageBox box(ownerWindow());
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
    QFileDialog dialog(ownerWindow(), request.title, request.initialFolder);
    dialog.setFileMode(QFileDialog::ExistingFile); // the file must exist
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(request.nameFilters);
    if (!request.nameFilters.isEmpty())
        dialog.selectNameFilter(request.nameFilters.first());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

bool installQtJapanese(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void closeOpenDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !w->isModal())
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }
}
