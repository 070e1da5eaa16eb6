#include "ReadAhead.h"

#include <cmath>

#include "GetImage.h"
#include "PictureCache.h"
#include "PictureFit.h"
#include "Services.h"

namespace display {

QSize boxPixelSize(float widthTwips, float heightTwips, double twipsPerPixel,
                   double devicePixelRatio) {
    const auto pixels = [&](float twips) {
        return qRound(int(std::lround(twips / twipsPerPixel)) * devicePixelRatio);
    };
    return QSize(pixels(widthTwips), pixels(heightTwips));
}

QString SlideView::path(qint32 index) const {
    return folder + platform::kSep + names[index];
}

QSize boxForPicture(const QString& path, const AreaView& area) {
    const ImageInfo info = GetImageInfo(path, 3);
    if (area.whole)
        return fitShownPictureToArea(path, info,
                                     boxPixelSize(area.widthTwips, area.heightTwips,
                                                  area.twipsPerPixel, area.devicePixelRatio));
    const PictureBox fit = fitShownPicture(path, info, area.widthTwips, area.heightTwips);
    return boxPixelSize(fit.Width, fit.Height, area.twipsPerPixel, area.devicePixelRatio);
}

QList<qint32> ReadAhead::plan(const SlideView& slides, bool early) {
    const qsizetype count = slides.names.size();
    const qint32 shown = slides.shown;
    if (shown < 0 || shown >= count)
        return {};
    // A step back goes on backwards; a step forward, a new list or a running show goes
    // forwards; the same slide again (a resize) keeps the way it went.
    const bool sameList = m_folder == slides.folder && m_count == count;
    int step = m_step;
    if (!sameList)
        step = 1;
    else if (shown != m_shown)
        step = count > 2 && shown == (m_shown + count - 1) % count ? -1 : 1;
    else if (slides.running)
        step = 1;
    if (!early) { // the early look counts as part of the same showing
        m_step = step;
        m_folder = slides.folder;
        m_count = count;
        m_shown = shown;
    }
    const qint32 offsets[2] = {step, slides.running ? 2 * step : -step};
    QList<qint32> indexes;
    for (const qint32 offset : offsets) {
        const qint32 index = qint32(((shown + offset) % count + count) % count);
        if (index != shown && !indexes.contains(index))
            indexes.append(index);
        if (early)
            break;
    }
    return indexes;
}

void ReadAhead::around(const SlideView& slides, const AreaView& area) noexcept {
    try {
        if (slides.shown < 0 || slides.shown >= slides.names.size())
            return;
        const QString shown = slides.path(slides.shown);
        useArea(area, shown);
        const QList<qint32> indexes = plan(slides, false);
        QStringList wanted{shown};
        for (const qint32 index : indexes)
            wanted << slides.path(index);
        // Room for what comes next: the pictures of slides gone by make way first.
        m_cache.retain(wanted);
        for (const QString& path : wanted.mid(1)) {
            try {
                m_cache.readAhead(path, boxForPicture(path, area));
            } catch (const std::exception&) {
                // Not measurable now: its error shows when it is displayed.
            }
        }
    } catch (...) {
    }
}

void ReadAhead::useArea(const AreaView& area, const QString& shown) {
    if (!(area == m_area)) {
        // A new layout: what was read for the old one no longer fits any box.
        m_cache.keepOnly(shown);
        m_area = area;
    }
}

void ReadAhead::beside(const SlideView& slides, const AreaView& area) noexcept {
    try {
        if (slides.shown < 0 || slides.shown >= slides.names.size())
            return;
        useArea(area, slides.path(slides.shown));
        for (const qint32 index : plan(slides, true)) {
            const QString path = slides.path(index);
            m_cache.readAhead(path, boxForPicture(path, area));
        }
    } catch (...) {
    }
}

} // namespace display
