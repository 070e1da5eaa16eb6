#pragma once
// Directory search with wildcards and attribute filters, standing in for the Windows search
// that the program was designed on.
#include <QString>
#include <QStringList>

namespace platform {

// Attribute bits, as the Windows search takes them. Plain and read-only files are always found.
enum DirAttributes { kAttrNormal = 0, kAttrReadOnly = 1, kAttrHidden = 2, kAttrSystem = 4 };

// Names (without folder) of the regular files matching `pattern`: a folder, a separator and a
// name pattern with "*" and "?", matched without regard to case. On Linux a name starting
// with "." counts as hidden. Names come in ordinal order of their upper-cased forms, the order
// an NTFS folder lists them in. Errors end the search quietly: the result is then shorter.
QStringList findFiles(const QString& pattern, int attributes);

// True when `path` names a regular file that a search for plain files finds under its own
// name, the path taken as a path and not as a pattern. On Windows hidden and system files count
// as missing; on Linux no file is hidden or system for this, so the file is looked at directly
// rather than by listing its folder.
bool isFoundAsPlainFile(const QString& path);

// True when `name` matches the wildcard `pattern` ("*" any run, "?" one character), ignoring case.
bool wildcardMatch(const QString& pattern, const QString& name);

} // namespace platform
