#include "TestServices.h"

#include <QDir>
#include <QFile>

TestServices::TestServices() {
    profileFolder = profileDir.path();
    programPath = programDir.path() + QStringLiteral("/pixelion");
    documentsFolder = profileDir.path() + QStringLiteral("/Documents");
    platform::setServices(this);
}

TestServices::~TestServices() { platform::setServices(nullptr); }

platform::MsgAnswer TestServices::messageBox(const platform::MessageBoxRequest& request) {
    messages << request;
    return messageAnswers.isEmpty() ? platform::MsgAnswer::Ok : messageAnswers.dequeue();
}

QString TestServices::openFileDialog(const platform::OpenFileRequest& request) {
    dialogs << request;
    return dialogAnswers.isEmpty() ? QString() : dialogAnswers.dequeue();
}

QString TestServices::specialFolder(int code) const {
    return code == platform::kFolderDocuments ? documentsFolder : QString();
}

QString TestServices::userDataFolder() const {
    return profileFolder + QStringLiteral("/ピクセリオン");
}

void TestServices::installDefaultSlideIni() const {
    const QString target = programDir.path() + QStringLiteral("/Slide.INI");
    QFile::remove(target);
    QFile::copy(QStringLiteral(DEFAULT_SLIDE_INI), target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}
