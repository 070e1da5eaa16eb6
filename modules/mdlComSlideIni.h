#pragma once
// The per-user folder, the paths of the settings files and the two profile wrappers.
#include <QString>

// The per-user folder's own name.
inline const QString kUserDataFolderName = QStringLiteral("ピクセリオン");

// USERPROFILE + separator + "ピクセリオン", whether or not it exists.
QString userDataFolderPath();
// The same, created (one level) when missing.
// Throws platform::RuntimeError when it cannot be created.
QString gsGetUserDataFolder();
QString gsGetSlideIniPath();
QString gsGetSettingIniPath();

// Reads one value (cut to 255 bytes). An empty hsFile stands for the per-user Slide.INI.
// A missing file, section or key gives true and the empty text; an error gives false.
bool gbGetIniString(const QString& hsFile, const QString& hsSection, const QString& hsKey,
                    QString& hsValue);

// Writes one value; false when the file cannot be written. Errors go to the caller.
bool gbPutIniString(const QString& hsFile, const QString& hsSection, const QString& hsKey,
                    const QString& hsValue);
