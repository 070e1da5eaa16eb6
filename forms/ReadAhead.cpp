#include "ReadAhead.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "GetImage.h"
#include "PictureFit.h"
#include "Twips.h"
#include "frmStart.h"
#include "mdlComCtrlFile.h"
#include "mdlComCtrlString.h"
#include "mdlComWinPos.h"
#include "mdlSlideDef.h"
#include "platform/PictureCache.h"
#include "platform/Services.h"

using platform::kSep;
using platform::PictureCache;

namespace {

// Taken while the program's statics are set up, just before main() runs.
const std::chrono::steady_clock::time_point gProcessStart = std::chrono::steady_clock::now();

double msSinceStart(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(t - gProcessStart).count();
}
double msSinceStartNs(qint64 steadyNs) {
    return msSinceStart(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(steadyNs)));
}

// With PIXELION_STARTUP_TRACE set, the program writes to standard error when the first picture
// is painted, in ms from main(): when the display asked for it, when it had it, when it was
// painted, and when the read-ahead of the command-line picture decoded it. Nothing else
// changes; the benchmark reads this line.
struct StartupTrace : QObject {
    bool on = false;
    QString path;
    double asked = -1, got = -1, decodeStart = -1, decodeEnd = -1;

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            if (auto* box = qobject_cast<ImageBox*>(watched); box && !box->picture().isNull()) {
                const double painted = msSinceStart(std::chrono::steady_clock::now());
                std::fprintf(stderr,
                             "pixelion startup: asked=%.1f got=%.1f painted=%.1f "
                             "decode_start=%.1f decode_end=%.1f (ms from main)\n",
                             asked, got, painted, decodeStart, decodeEnd);
                std::fflush(stderr);
                qApp->removeEventFilter(this);
            }
        }
        return false;
    }
};

StartupTrace& trace() {
    static StartupTrace* const t = new StartupTrace; // lives as long as the process
    return *t;
}

// The main window's layout figures the guesses need, in twips.
constexpr float kMinOuterWidth = 6000, kMinOuterHeight = 4500;
constexpr float kMessageHeight = 375, kPlayerFrameWidth = 1455;
const QString kMainCaption = QStringLiteral("スライド画面");

struct Area {
    float width = 0, height = 0;
};

// The picture area the window's layout gives a client area of W x H twips.
Area areaForClient(float W, float H, float playerFrameWidth, float messageHeight) {
    return {W - playerFrameWidth - 300, H - 200 - messageHeight};
}

// Where the read-ahead stands: the layout it sized pictures for and the way the show goes.
struct AroundState {
    float areaWidth = -1, areaHeight = -1;
    double twipsPerPixel = 0, devicePixelRatio = 0;
    QString folder;
    qsizetype count = 0;
    qint32 shown = -1;
    int step = 1;
};

// Starts the read-ahead prepared for a slide: at once when the window is on screen, else (while
// it is being shown for the first time) after the box's next paint, so that the decodes do not
// compete with the window's first paint; a window that does not paint (minimised) gets them
// after a moment.
class ReadAheadStarter : public QObject {
public:
    ReadAheadStarter() {
        m_fallback.setSingleShot(true);
        m_fallback.setInterval(50);
        QObject::connect(&m_fallback, &QTimer::timeout, this, [this] { run(); });
    }

    bool hasPending() const { return bool(m_pending); }

    void arm(ImageBox* box, std::function<void()> start) {
        if (m_box != box) {
            if (m_box)
                m_box->removeEventFilter(this);
            m_box = box;
            box->installEventFilter(this);
        }
        m_pending = std::move(start);
        const QWindow* window = box->window()->windowHandle();
        if (window && window->isExposed())
            run();
        else
            m_fallback.start();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint && m_pending && watched == m_box) // after that paint
            QMetaObject::invokeMethod(
                this, [this] { run(); }, Qt::QueuedConnection);
        return false;
    }

private:
    void run() {
        m_fallback.stop();
        if (const std::function<void()> start = std::exchange(m_pending, nullptr))
            start();
    }

    QPointer<QObject> m_box; // not ImageBox: events reach the filter while it is destroyed
    std::function<void()> m_pending;
    QTimer m_fallback;
};

ReadAheadStarter& starter() {
    static ReadAheadStarter* const s = new ReadAheadStarter; // as long as the cache
    return *s;
}

// The box size of `path` in an area of the given twips: the same measurement and fit as the
// display's, to be run on a worker.
std::function<QSize()> measureFor(const QString& path, float areaWidth, float areaHeight,
                                  double twipsPerPixel, double devicePixelRatio) {
    return [=] {
        const ImageInfo info = GetImageInfo(path, 3);
        const PictureBox fit = fitPictureBox(info.Width, info.Height, areaWidth, areaHeight);
        return boxPixelSize(fit.Width, fit.Height, twipsPerPixel, devicePixelRatio);
    };
}

// Start-up waits here for the decode of its first picture. Meanwhile the window's backing
// store is made at the window's size and written once, so that the first paint after show()
// finds its memory already mapped: a 1280 x 800 window's 4 MB otherwise cost a thousand page
// faults (12-15 ms on the test machine) after the picture has arrived. The store is the one
// the window paints into later; nothing of this reaches the screen, since the window's first
// paint covers all of it.
void prepareFirstPaint(QWidget& window) {
    window.winId(); // the native window, made now rather than by show()
    QBackingStore* const store = window.backingStore();
    if (!store || store->size() == window.size())
        return;
    const QRect all(QPoint(), window.size());
    store->resize(all.size());
    store->beginPaint(all);
    if (QPaintDevice* const device = store->paintDevice()) {
        QPainter painter(device);
        painter.fillRect(all, window.palette().window());
    }
    store->endPaint();
}

AroundState& around() {
    static AroundState state;
    return state;
}

// What to read ahead around slide `shown`. Late (the slide is on screen): the next two while
// the show runs, so that two decodes run side by side and one that takes longer than a tick
// does not hold the show up; the next and the previous while it is stopped. Early (the slide
// itself is about to be decoded on the spot): only the next one, at once, beside that decode.
void planAround(frmStart& form, qint32 shown, bool early) {
    PictureCache& cache = PictureCache::instance();
    const qsizetype count = sFile.size();
    // Before the window is on screen its layout is not final: nothing to size pictures for.
    if (!cache.isEnabled() || !form.isVisible() || shown < 0 || shown >= count)
        return;
    AroundState& last = around();
    const TwipsRect area = twipsOf(form.fraImgArea);
    const double tpp = platform::twipsPerPixel();
    const double dpr = form.devicePixelRatioF();
    if (area.Width != last.areaWidth || area.Height != last.areaHeight ||
        tpp != last.twipsPerPixel || dpr != last.devicePixelRatio) {
        // A new layout: what was read for the old one no longer fits any box.
        const TwipsRect box = twipsOf(form.imgViewer);
        cache.keepOnly(gsShowFolder + kSep + sFile[shown],
                       boxPixelSize(box.Width, box.Height, tpp, dpr));
        last.areaWidth = area.Width;
        last.areaHeight = area.Height;
        last.twipsPerPixel = tpp;
        last.devicePixelRatio = dpr;
    }

    // A step back goes on backwards; a step forward, a new list or a running show goes
    // forwards; the same slide again (a resize) keeps the way it went.
    const bool running = form.tmrSlideShow->isActive();
    const bool sameList = last.folder == gsShowFolder && last.count == count;
    int step = last.step;
    if (!sameList)
        step = 1;
    else if (shown != last.shown)
        step = count > 2 && shown == (last.shown + count - 1) % count ? -1 : 1;
    else if (running)
        step = 1;
    if (!early) { // the early look counts as part of the same showing
        last.step = step;
        last.folder = gsShowFolder;
        last.count = count;
        last.shown = shown;
    }

    const qint32 offsets[2] = {step, running ? 2 * step : -step};
    QList<QPair<QString, std::function<QSize()>>> jobs;
    for (const qint32 offset : offsets) {
        const qint32 index = qint32(((shown + offset) % count + count) % count);
        const QString path = gsShowFolder + kSep + sFile[index];
        if (index != shown && (jobs.isEmpty() || jobs.first().first != path))
            jobs.append({path, measureFor(path, area.Width, area.Height, tpp, dpr)});
        if (early)
            break;
    }
    if (early) {
        for (const auto& [path, measure] : std::as_const(jobs))
            cache.readAhead(path, measure);
        return;
    }
    starter().arm(form.imgViewer, [jobs] {
        for (const auto& [path, measure] : jobs)
            PictureCache::instance().readAhead(path, measure);
    });
}

} // namespace

QSize boxPixelSize(float widthTwips, float heightTwips, double twipsPerPixel,
                   double devicePixelRatio) {
    const auto pixels = [&](float twips) {
        return qRound(int(std::lround(twips / twipsPerPixel)) * devicePixelRatio);
    };
    return QSize(pixels(widthTwips), pixels(heightTwips));
}

QImage pictureForBox(frmStart& form, const QString& path, const QSize& pixels) {
    PictureCache& cache = PictureCache::instance();
    if (!form.isVisible()) {
        // Start-up: the window has its size but is laid out only when it is shown, and then asks
        // for the picture again. Tell a read-ahead still decoding it which size that will be.
        try {
            const float menuBar = pixelsToTwips(form.menuBar()->sizeHint().height());
            const Area area =
                areaForClient(pixelsToTwips(form.width()), pixelsToTwips(form.height()) - menuBar,
                              twipsOf(form.fraFunc).Width, twipsOf(form.lblMsg).Height);
            cache.expect(path, measureFor(path, area.width, area.height, platform::twipsPerPixel(),
                                          form.devicePixelRatioF()));
        } catch (const std::exception&) {
            // The picture's own failure shows below.
        }
        if (!form.isUnloaded())
            prepareFirstPaint(form);
    }
    // A slide decoded here starts its successor on a worker first: the two decodes then share
    // the processor's cores, and the next tick finds its picture ready.
    const auto early = [&form] {
        if (QThread::idealThreadCount() < 2)
            return;
        try {
            if (gnShowNo >= 0 && gnShowNo < sFile.size())
                planAround(form, gnShowNo, true);
        } catch (...) {
        }
    };
    StartupTrace& t = trace();
    if (!t.on || t.asked >= 0)
        return cache.picture(path, pixels, early);
    qApp->installEventFilter(&t); // now that there is an application to watch
    t.asked = msSinceStart(std::chrono::steady_clock::now());
    QImage picture = cache.picture(path, pixels, early);
    t.got = msSinceStart(std::chrono::steady_clock::now());
    return picture;
}

void readAheadAround(frmStart& form, qint32 shown) noexcept {
    try {
        planAround(form, shown, false);
    } catch (...) {
        // Reading ahead is only a head start: the slide is decoded when it is shown.
    }
}

bool readAheadSettled() {
    return !starter().hasPending() && PictureCache::instance().pendingCount() == 0;
}

void readAheadCommandLinePicture(int argc, char* argv[]) noexcept {
    try {
        StartupTrace& t = trace();
        if (!qEnvironmentVariableIsEmpty("PIXELION_STARTUP_TRACE")) {
            t.on = true;
            QObject::connect(&PictureCache::instance(), &PictureCache::readAheadDone, &t,
                             [&t](const QString& path, bool, qint64 started, qint64 finished) {
                                 if (path == t.path && t.decodeEnd < 0) {
                                     t.decodeStart = msSinceStartNs(started);
                                     t.decodeEnd = msSinceStartNs(finished);
                                 }
                             });
        }

        // The command line as the program will read it once the application object exists.
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        const QString command = platform::commandLineFromArguments(arguments, QDir::currentPath());
        if (command.isEmpty())
            return;
        // The path as the slide list will rebuild it, so the display finds the picture.
        QString drive, folder, file;
        fbSplitPath(command, drive, folder, file);
        const QString suffix = fsGetSuffix(file).toLower();
        if (suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg"))
            return;
        const QString path = drive + kSep + folder + kSep + file;
        if (!QFileInfo(path).isFile())
            return;
        t.path = path;

        // The window's outer size from its stored rectangle, as start-up will apply it. The
        // frame and the menu bar are not known before the window exists; leaving them out
        // guesses a box a little larger than the real one, so the picture decoded for it covers
        // the real one, whose size the window tells the read-ahead once it knows it. Before the
        // application object exists there is no screen: the usual 96 dpi, no scaling.
        WinPos pos{0, 0, 0, 0};
        const QString dataFolder =
            platform::services().userProfileFolder() + kSep + QStringLiteral("ピクセリオン");
        if (QFileInfo(dataFolder).isDir()) // reading must not create it before start-up does
            gGetWinPos(kMainCaption, pos);
        const int outerWidth = qMax(twipsToPixels(pos[2]), twipsToPixels(kMinOuterWidth));
        const int outerHeight = qMax(twipsToPixels(pos[3]), twipsToPixels(kMinOuterHeight));
        const Area area = areaForClient(pixelsToTwips(outerWidth), pixelsToTwips(outerHeight),
                                        kPlayerFrameWidth, kMessageHeight);
        const auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        PictureCache::instance().readAheadGuessed(
            path, measureFor(path, area.width, area.height, platform::twipsPerPixel(),
                             gui ? gui->devicePixelRatio() : 1.0));
    } catch (...) {
        // No head start: the picture is decoded when the show starts.
    }
}
