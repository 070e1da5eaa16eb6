#include "Services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace platform {

namespace {
Services* installed = nullptr;

// Used when there is no screen to ask (no GUI application, or a test without one).
constexpr QSize kFallbackScreen{1920, 1080};
constexpr double kFallbackDpi = 96.0;

QScreen* primaryScreen() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::primaryScreen()
               : nullptr;
}
} // namespace

Services& services() {
    static SystemServices system;
    return installed ? *installed : system;
}

void setServices(Services* s) {
    installed = s;
}

MsgAnswer SystemServices::messageBox(const MessageBoxRequest& request) {
    fprintf(stderr, "%s: %s\n",
            qUtf8Printable(request.title.isEmpty() ? kProgramTitle : request.title),
            qUtf8Printable(request.text));
    return MsgAnswer::Ok;
}

QString SystemServices::openFileDialog(const OpenFileRequest&) {
    return QString();
}

QDateTime SystemServices::now() const {
    return QDateTime::currentDateTime();
}

QString SystemServices::userProfileFolder() const {
    const QString profile = qEnvironmentVariable("USERPROFILE");
#ifdef _WIN32
    return profile;
#else
    // The per-user folder is made in here: the root of the file system, which an unset or
    // empty variable would give, is never taken. Then HOME, then the account's own entry.
    const auto usable = [](const QString& folder) {
        return !folder.isEmpty() && QDir::cleanPath(folder) != QStringLiteral("/");
    };
    if (usable(profile))
        return profile;
    const QString home = qEnvironmentVariable("HOME");
    if (usable(home))
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        const QString account = QFile::decodeName(found->pw_dir);
        if (usable(account))
            return account;
    }
    return QString();
#endif
}

QString SystemServices::logonUserName() const {
#ifdef _WIN32
    wchar_t buffer[257] = {};
    DWORD size = 257;
    if (!GetUserNameW(buffer, &size))
        return QString();
    return QString::fromWCharArray(buffer);
#else
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString();
#endif
}

qint32 SystemServices::processId() const {
    return static_cast<qint32>(QCoreApplication::applicationPid());
}

QString SystemServices::specialFolder(int code) const {
    switch (code) {
    case kFolderDocuments:
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    case kFolderSendTo:
#ifdef _WIN32
        return QDir::toNativeSeparators(qEnvironmentVariable("APPDATA") +
                                        "/Microsoft/Windows/SendTo");
#else
        return QString(); // no Send-to folder on Linux desktops
#endif
    default:
        return QString();
    }
}

QString SystemServices::programFilePath() const {
    QString path =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
#ifndef _WIN32
    if (path.isEmpty())
        path = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
#endif
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return QDir::toNativeSeparators(canonical.isEmpty() ? path : canonical);
}

QString SystemServices::commandLine() const {
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty())
        args.removeFirst();
#ifdef _WIN32
    // Windows hands the program its text as typed; Qt has split it, so join it back.
    return args.join(u' ');
#else
    return commandLineFromArguments(args, QDir::currentPath());
#endif
}

QSize SystemServices::primaryScreenPixels() const {
    if (QScreen* screen = primaryScreen())
        return screen->size();
    return kFallbackScreen;
}

QRect SystemServices::availableScreenArea(const QRect& outer) const {
    if (!primaryScreen())
        return QRect();
    QScreen* screen = QGuiApplication::screenAt(outer.center());
    return (screen ? screen : primaryScreen())->availableGeometry();
}

double SystemServices::logicalDpi() const {
    if (QScreen* screen = primaryScreen())
        return screen->logicalDotsPerInchX();
    return kFallbackDpi;
}

int SystemServices::versionMajor() const {
    return PIXELION_VERSION_MAJOR;
}
int SystemServices::versionMinor() const {
    return PIXELION_VERSION_MINOR;
}

QString commandLineFromArguments(const QStringList& arguments, const QString& currentDir) {
    const QString text = arguments.join(u' ');
    // A quoted text is passed on as it stands: the program reports it, it does not guess.
    if (text.isEmpty() || text.startsWith(u'"') || !QFileInfo(text).isRelative())
        return text;
    return QDir::toNativeSeparators(QDir(currentDir).absoluteFilePath(text));
}

QString programFolder() {
    return QDir::toNativeSeparators(QFileInfo(services().programFilePath()).absolutePath());
}

QString programBaseName() {
    return QFileInfo(services().programFilePath()).completeBaseName();
}

double twipsPerPixel() {
    return 1440.0 / services().logicalDpi();
}

QSize primaryScreenTwips() {
    const QSize px = services().primaryScreenPixels();
    const double tpp = twipsPerPixel();
    return QSize(qRound(px.width() * tpp), qRound(px.height() * tpp));
}

} // namespace platform
