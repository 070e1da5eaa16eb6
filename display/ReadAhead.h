#pragma once
// Which slides to decode ahead of their turn, and at which box size: the next two while the
// show runs, so that two decodes run side by side and one that takes longer than a tick does not
// hold the show up; the next and the previous while it is stopped, in the way the user went.
//
// Threads: user-interface thread only. The boxes are measured here (the header reader and the
// fit, a few hundredths of a millisecond each); the workers only decode.
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace display {

class PictureCache;

// The size in device pixels of a box of `widthTwips` x `heightTwips`: the display and the
// read-ahead both size through here, so a picture read ahead fits its box to the pixel.
QSize boxPixelSize(float widthTwips, float heightTwips, double twipsPerPixel,
                   double devicePixelRatio);

// The slide list as the window holds it.
struct SlideView {
    QString folder;
    QStringList names;
    qint32 shown = -1;
    bool running = false;
    // The path of slide `index`, as the display builds it.
    QString path(qint32 index) const;
};

// The picture area the boxes are fitted into.
struct AreaView {
    float widthTwips = 0, heightTwips = 0;
    double twipsPerPixel = 15, devicePixelRatio = 1;
    // The whole area, no margin, at its device pixels (the full-screen presentation); else the
    // main window's fit.
    bool whole = false;
    bool operator==(const AreaView&) const = default;
};

// The box, in device pixels, of the picture `path` in `area`, measured and fitted as the
// display does. Throws as the header reader and the fit do.
QSize boxForPicture(const QString& path, const AreaView& area);

class ReadAhead {
public:
    explicit ReadAhead(PictureCache& cache) : m_cache(cache) {}

    // The slide `slides.shown` is on screen: decodes its neighbours. A new area drops what was
    // read for the old one. Never throws: reading ahead is only a head start.
    void around(const SlideView& slides, const AreaView& area) noexcept;
    // The slide `slides.shown` is about to be decoded on the spot: starts the next one at once,
    // beside it, so that the two decodes share the processor's cores. Never throws.
    void beside(const SlideView& slides, const AreaView& area) noexcept;

    // The slides to decode around `slides.shown`, in order; `early` for beside(). Remembers the
    // way the show went unless `early`.
    QList<qint32> plan(const SlideView& slides, bool early);

private:
    void useArea(const AreaView& area, const QString& shown);

    PictureCache& m_cache;
    AreaView m_area{-1, -1, 0, 0};
    QString m_folder;
    qsizetype m_count = 0;
    qint32 m_shown = -1;
    int m_step = 1;
};

} // namespace display
