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

// The metadata a Mac writes beside each file it copies to a card or stick ("._IMG_0001.JPG",
// AppleDouble): a name starting with "._" whose content does not start as a JPEG's (FF D8).
bool isMacCompanion(const QString& folder, const QString& name);

// Appends the names of the files matching the wildcard pattern (plain, read-only and hidden
// files) to hsList and counts them in hnCount, leaving out a Mac's companion files. Always true:
// search errors only shorten the list.
bool fbGetPicFiles(const QString& hsPattern, qint32& hnCount, QStringList& hsList);
