#pragma once
// Path routines. The separator is a parameter so that the Windows forms of a path (drive
// letters, \\server\share) stay testable on any platform.
#include <QString>
#include <QStringList>

#include "Services.h"

// Splits a full path into drive, folder (no leading or trailing separator) and file name.
// Throws platform::RuntimeError for a path without any separator.
bool fbSplitPath(const QString& hsPath, QString& hsDrive, QString& hsFolder, QString& hsFile,
                 QChar sep = platform::kSep);

// Appends the names of the files matching the wildcard pattern (plain, read-only and hidden
// files) to hsList and counts them in hnCount. Always true: search errors only shorten the list.
bool fbGetPicFiles(const QString& hsPattern, qint32& hnCount, QStringList& hsList);
