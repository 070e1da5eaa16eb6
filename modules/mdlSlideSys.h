#pragma once
// The application settings of the signed-in user (Slide.INI) and their process-wide record.
#include <QString>

struct SlideSettingsRecord {
    QString IniPath;
    qint32 DbgLevel = 0;
    qint32 Interval = 0; // tenths of a second
    QString RootPath;
    qint32 LogKeepCount = 0; // nothing sets it
};

extern SlideSettingsRecord SlideSettings;

// Back to the start-of-program values (for tests).
void resetSlideSettings();

bool gbLoadSlideIni();
bool fbReadSlideIni(const QString& hsFile);
bool gbCpLocalIni();
