#pragma once
// The slide list: the current folder's pictures and the current slide.
#include <QString>
#include <QStringList>

extern QStringList sFile;     // file names, indexed from 0
extern QString gsShowFolder;  // their folder
extern qint32 gnShowNo;       // index of the current slide

void resetSlideList();
