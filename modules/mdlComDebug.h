#pragma once
// The level-filtered debug log and the housekeeping of its folder.
#include <QString>
#include <QStringList>

struct DebugLogStateRecord {
    QString AppName;
    QString UserName;
    qint32 DebugLevel = 0;
    qint32 DebugNum = 0;
    qint32 Pid = 0;
    QString LogFolder;
    QString LogFilePath;
    bool bLogFileExisted = false;
};

const DebugLogStateRecord& debugLogState();
// Back to the start-of-program values (for tests).
void resetDebugLog();

// Kinds 1-4 trace records, 97 opens the log (and reads the other arguments), 99 end banner.
// Traps nothing: a log that cannot be written throws platform::RuntimeError to the caller.
void gDebugLog(qint16 hnKind, const QString& hsText, qint16 hnLevel = 2,
               const QString& hsUser = QStringLiteral("DEFAULT_USER"), qint32 hnKeepCount = 7,
               qint32 hnPid = 0, const QString& hsFolder = QString());

void fWriteDebugLine(qint16 hnKind, const QString& hsText);
QString fsGetAppName(const QString& hsName);
void gGetUserInfo(QString& hsUser, qint32& hnPid, QString& hsFolder);

QString fsGetDebugFilePath();
// hsList is indexed from 1 (entry 0 unused), as the housekeeping numbers its files.
bool fbGetFileList(const QString& hsPattern, qint32& hnCount, QStringList& hsList);
bool fbSortFileList(QStringList& hsList, qint32 hnLo, qint32 hnHi);
