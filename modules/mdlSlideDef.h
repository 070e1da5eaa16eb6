#pragma once
// The slide list: the current folder's pictures and the current slide.
#include <QString>
#include <QStringList>

extern QStringList sFile;    // file names, indexed from 0
extern QString gsShowFolder; // their folder
extern qint32 gnShowNo;      // index of the current slide

void resetSlideList();

// The extensions a slide list is made of, in the order the messages name them.
inline const QString kSlideExtensions[2] = {QStringLiteral("jpg"), QStringLiteral("jpeg")};
// True for either of them, in any case.
bool isSlideExtension(const QString& suffix);
