#include "TestServices.h"

#include <QDir>
#include <QFile>

#include "Cp932.h"
#include "mdlComDebug.h"
#include "mdlSlideDef.h"
#include "mdlSlideSys.h"

TestServices::TestServices() {
    profileFolder = profileDir.path();
    programPath = programDir.path() + QStringLiteral("/pixelion");
    documentsFolder = profileDir.path() + QStringLiteral("/Documents");
    platform::setServices(this);
    resetSlideSettings();
    resetSlideList();
    resetDebugLog();
}

TestServices::~TestServices() {
    platform::setServices(nullptr);
}

platform::MsgAnswer TestServices::messageBox(const platform::MessageBoxRequest& request) {
    messages << request;
    if (whileBoxOpen)
        whileBoxOpen();
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

QByteArray TestServices::readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestServices::writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QString TestServices::readCp932(const QString& path) {
    return platform::fromCp932(readBytes(path));
}

void TestServices::writeCp932(const QString& path, const QString& text) {
    writeBytes(path, platform::toCp932(text));
}
