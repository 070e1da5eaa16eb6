#pragma once
// Profile files ("INI" files) with the observable behaviour of the Windows profile functions
// GetPrivateProfileStringA / WritePrivateProfileStringA in code page 932, so that a file written
// or hand-edited for the Windows program means the same here, and the other way round.
#include <QByteArray>
#include <QString>

namespace platform {

// Reads the value of `key` in the first block of `section` of the file, as the Windows call
// does with a buffer of `bufferSize` bytes: section, key and value are code page 932 bytes;
// the value comes back cut to bufferSize - 1 bytes without splitting a double-byte character.
// A missing file, section or key gives `defaultValue` (cut the same way). Never changes the file.
QByteArray getPrivateProfileString(const QByteArray& section, const QByteArray& key,
                                   const QByteArray& defaultValue, const QString& filePath,
                                   int bufferSize = 256);

// Stores key=value in `section`, creating the file, the section and the key as needed and
// keeping every other line byte for byte. The file is replaced atomically. False when the file
// cannot be written (missing folder, read-only file, a folder in its place), and, leaving the
// file alone, when section, key or value holds a CR, LF or NUL.
bool writePrivateProfileString(const QByteArray& section, const QByteArray& key,
                               const QByteArray& value, const QString& filePath);

} // namespace platform
