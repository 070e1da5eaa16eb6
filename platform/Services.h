#pragma once
// The seam between the program and the operating-system services it relies on.
// Production installs SystemServices (environment) extended by the desktop dialogs in forms/;
// tests install their own subclass to answer message boxes, pick files, fix the clock and so on.
#include <QDateTime>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace platform {

enum class MsgIcon { None, Information, Warning, Critical };
enum class MsgButtons { Ok, OkCancel };
enum class MsgAnswer { Ok, Cancel };

struct MessageBoxRequest {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};

struct OpenFileRequest {
    QString title;
    QString initialFolder;
    QStringList nameFilters; // Qt's form, e.g. "JPG 形式 (*.jpg)"; the first is preselected
};

// Title of message boxes that have none of their own.
inline const QString kProgramTitle = QStringLiteral("ピクセリオン");

// Special-folder codes the program asks for.
enum SpecialFolder { kFolderDocuments = 5, kFolderSendTo = 9 };

class Services {
public:
    virtual ~Services() = default;

    // Interactive services: modal, answered by the user (or by a test).
    virtual MsgAnswer messageBox(const MessageBoxRequest& request) = 0;
    virtual QString openFileDialog(const OpenFileRequest& request) = 0; // empty when cancelled

    // Environment services.
    virtual QDateTime now() const = 0; // local time
    // USERPROFILE; on Linux, when it is unset or empty, HOME, then the account's home folder;
    // never the root of the file system. Empty when there is none.
    virtual QString userProfileFolder() const = 0;
    virtual QString logonUserName() const = 0;
    virtual qint32 processId() const = 0;
    virtual QString specialFolder(int code) const = 0; // empty when there is none
    virtual QString programFilePath() const = 0;       // the running executable, symlinks resolved
    virtual QString commandLine() const = 0;
    virtual QSize primaryScreenPixels() const = 0;
    // The area (less panels and docks) of the screen a window at `outer` opens on, in pixels;
    // empty when there is no screen.
    virtual QRect availableScreenArea(const QRect& outer) const = 0;
    virtual double logicalDpi() const = 0;
    virtual int versionMajor() const = 0;
    virtual int versionMinor() const = 0;
};

// The environment as the operating system gives it. Without a desktop (command-line tools,
// benchmarks) a message box is written to standard error and takes its default button, and
// there is no file dialog; forms/ installs the desktop's own.
class SystemServices : public Services {
public:
    MsgAnswer messageBox(const MessageBoxRequest& request) override;
    QString openFileDialog(const OpenFileRequest& request) override;
    QDateTime now() const override;
    QString userProfileFolder() const override;
    QString logonUserName() const override;
    qint32 processId() const override;
    QString specialFolder(int code) const override;
    QString programFilePath() const override;
    QString commandLine() const override;
    QSize primaryScreenPixels() const override;
    QRect availableScreenArea(const QRect& outer) const override;
    double logicalDpi() const override;
    int versionMajor() const override;
    int versionMinor() const override;
};

// The services in force. setServices() does not take ownership; nullptr uninstalls.
Services& services();
void setServices(Services* s);

// Joins already-split arguments into the one command-line text the program takes, making a
// relative path absolute against `currentDir` (a Linux user types `pixelion photo.jpg`).
QString commandLineFromArguments(const QStringList& arguments, const QString& currentDir);

// Program folder and file name without extension, from programFilePath().
QString programFolder();
QString programBaseName();

// The path separator of this platform, used wherever the program builds a path.
#ifdef _WIN32
inline constexpr QChar kSep = u'\\';
#else
inline constexpr QChar kSep = u'/';
#endif

// Twips per pixel at the primary screen's logical dpi (15 at 96 dpi).
double twipsPerPixel();
// The primary screen in twips.
QSize primaryScreenTwips();

} // namespace platform
