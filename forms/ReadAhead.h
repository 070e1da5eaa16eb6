#pragma once
// Decoding slides before their turn: the neighbours of the slide on screen, and the picture named
// on the command line while the window is still being built.
#include <QImage>
#include <QSize>
#include <QString>

class frmStart;

// The box's size in device pixels. Display and read-ahead both size through here, so a picture
// read ahead fits its box to the pixel.
QSize boxPixelSize(float widthTwips, float heightTwips, double twipsPerPixel,
                   double devicePixelRatio);

// The picture of `path` for the box of `form`, `pixels` large: the one read ahead when it is
// still current, else decoded now. Throws as the picture loader does.
QImage pictureForBox(frmStart& form, const QString& path, const QSize& pixels);

// Called once slide `shown` is on screen: decodes on a worker the next slides in the show's
// direction, and while the show is stopped the previous one too. Never throws.
void readAheadAround(frmStart& form, qint32 shown) noexcept;

// True when no read-ahead waits to start or is running (tests and the benchmark wait for it).
bool readAheadSettled();

// Called first thing in main(), with its arguments: starts decoding the picture named on the
// command line at the box size the stored window rectangle will give, so that the decode runs
// while the program starts. Never throws.
void readAheadCommandLinePicture(int argc, char* argv[]) noexcept;
