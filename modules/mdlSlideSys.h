#pragma once
// The application settings of the signed-in user (Slide.INI) and their process-wide record.
#include <QString>

struct SlideSettingsRecord {
    QString IniPath;
    qint32 DbgLevel = 0;
    qint32 Interval = 0; // tenths of a second
    QString RootPath;
    qint32 LogKeepCount = 0; // nothing sets it
    // Where gbCpLocalIni() kept the file it replaced, when there was one: start-up logs it.
    QString IniBackupPath;
};

extern SlideSettingsRecord SlideSettings;

// Back to the start-of-program values (for tests).
void resetSlideSettings();

// The slideshow timer's period: Interval x 100 ms, held to what the timer can run
// (100 ms to 100 s) when a hand-edited Interval lies outside 1..1000.
int slideTimerPeriodMs();

bool gbLoadSlideIni();
bool fbReadSlideIni(const QString& hsFile);
// Replaces the per-user Slide.INI by the default copy. A file that was there, unless it already
// is the default copy, is kept first as Slide.INI.bak beside it (an older backup gives way);
// when it cannot be kept, it is not replaced.
bool gbCpLocalIni();
