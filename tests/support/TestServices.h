#pragma once
// The platform seam as tests drive it: a temporary per-user folder, a fixed clock, a chosen
// user name, program path and screen, and message boxes and file dialogs answered from a script.
#include <functional>

#include <QDateTime>
#include <QList>
#include <QQueue>
#include <QTemporaryDir>

#include "Services.h"

class TestServices : public platform::SystemServices {
public:
    // Installs itself and resets the program's process-wide state (settings, slide list, log);
    // the destructor uninstalls. The profile folder is a fresh temporary folder.
    TestServices();
    ~TestServices() override;

    platform::MsgAnswer messageBox(const platform::MessageBoxRequest& request) override;
    QString openFileDialog(const platform::OpenFileRequest& request) override;

    QDateTime now() const override { return clock.isValid() ? clock : SystemServices::now(); }
    QString userProfileFolder() const override { return profileFolder; }
    QString logonUserName() const override { return userName; }
    qint32 processId() const override { return pid; }
    QString specialFolder(int code) const override;
    QString programFilePath() const override { return programPath; }
    QString commandLine() const override { return commandLineText; }
    QSize primaryScreenPixels() const override { return screenPixels; }
    QRect availableScreenArea(const QRect&) const override { return QRect(QPoint(), screenPixels); }
    double logicalDpi() const override { return dpi; }

    // The per-user folder the program uses under profileFolder ("<profile>/ピクセリオン").
    QString userDataFolder() const;
    // Puts a copy of the repository's default Slide.INI beside programPath.
    void installDefaultSlideIni() const;

    QTemporaryDir profileDir; // USERPROFILE
    QTemporaryDir programDir; // folder of the "program file"
    QString profileFolder;
    QString programPath; // programDir + "/pixelion"
    QString userName = QStringLiteral("tester");
    qint32 pid = 4012;
    QDateTime clock; // invalid: the real clock
    QString documentsFolder;
    QString commandLineText;
    QSize screenPixels{1920, 1080};
    double dpi = 96.0;

    // File helpers: the settings and log files are code page 932 on disk.
    static QString readCp932(const QString& path);
    static void writeCp932(const QString& path, const QString& text);
    static QByteArray readBytes(const QString& path);
    static void writeBytes(const QString& path, const QByteArray& bytes);

    // Answers for the next message boxes (Ok when the queue is empty) and what was asked.
    QQueue<platform::MsgAnswer> messageAnswers;
    QList<platform::MessageBoxRequest> messages;
    // Runs while a box is "open", after it is counted: the event loop a real box would spin.
    std::function<void()> whileBoxOpen;
    // Paths for the next file dialogs ("" = cancel; cancel when the queue is empty).
    QQueue<QString> dialogAnswers;
    QList<platform::OpenFileRequest> dialogs;
};
