// How fast pictures reach the screen: per-slide display cost, the running show, its memory, the
// header reader and start-up. Run it as the README's performance section says; it makes its own
// test pictures once and prints every figure in one run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <turbojpeg.h>

#include "Cp932.h"
#include "GetImage.h"
#include "Memory.h"
#include "PhotoLike.h"
#include "PictureCache.h"
#include "PictureLoader.h"
#include "Services.h"
#include "Twips.h"
#include "frmStart.h"
#include "mdlSlideDef.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t rank = size_t(std::max(1.0, std::ceil(p / 100.0 * double(v.size())))) - 1;
    return v[std::min(rank, v.size() - 1)];
}
double median(const std::vector<double>& v) {
    return percentile(v, 50);
}

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(u' ', 0, 2);
}

// The environment of the real window: a per-user folder of our own, no command line.
class BenchServices : public platform::SystemServices {
public:
    explicit BenchServices(QString profile) : m_profile(std::move(profile)) {}
    QString userProfileFolder() const override { return m_profile; }
    QString commandLine() const override { return {}; }
    // The offscreen platform's screen is 800 x 600; the window measured is 1280 x 800.
    QRect availableScreenArea(const QRect&) const override { return QRect(0, 0, 1920, 1080); }

private:
    QString m_profile;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Settings that open the main window at 1280 x 800 (outer) with `interval`.
void prepareProfile(const QString& profile, const QString& programBase, int interval,
                    double twipsPerPixel) {
    const QString folder = profile + QStringLiteral("/ピクセリオン");
    QDir().mkpath(folder);
    writeFile(
        folder + QStringLiteral("/Slide.INI"),
        platform::toCp932(
            QStringLiteral("[Debug]\r\nDbgLevel=1\r\n[SETUP]\r\nInterval=%1\r\n").arg(interval)));
    writeFile(
        folder + QStringLiteral("/Setting.INI"),
        platform::toCp932(QStringLiteral("[Window_Pos]\r\n%1-スライド画面=1500,1500,%2,%3\r\n")
                              .arg(programBase)
                              .arg(qRound(1280 * twipsPerPixel))
                              .arg(qRound(800 * twipsPerPixel))));
}

// ---- test pictures -------------------------------------------------------------------------

struct Pictures {
    QStringList p24, p12;
    QString big;
    QString showFolder;
};

void makeJpeg(const QString& path, int w, int h, unsigned seed, int quality) {
    if (QFileInfo::exists(path))
        return;
    std::printf("  making %s (%d x %d, quality %d)\n", qPrintable(QFileInfo(path).fileName()), w, h,
                quality);
    std::fflush(stdout);
    const QString part = path + QStringLiteral(".part");
    QImageWriter writer(part, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(makePhotoLikeImage(w, h, seed)))
        qFatal("cannot write %s: %s", qPrintable(part), qPrintable(writer.errorString()));
    QFile::rename(part, path);
}

Pictures ensurePictures(const QString& folder) {
    Pictures p;
    for (const char* sub : {"24mp", "12mp", "big", "show"})
        QDir().mkpath(folder + u'/' + QLatin1String(sub));
    for (int i = 1; i <= 4; ++i) {
        p.p24 << folder + QStringLiteral("/24mp/p24_%1.jpg").arg(i);
        makeJpeg(p.p24.last(), 6000, 4000, unsigned(i), 90);
        p.p12 << folder + QStringLiteral("/12mp/p12_%1.jpg").arg(i);
        makeJpeg(p.p12.last(), 4000, 3000, unsigned(10 + i), 90);
    }
    // A 48-megapixel picture at quality 97 weighs over 20 MB.
    p.big = folder + QStringLiteral("/big/big.jpg");
    makeJpeg(p.big, 8000, 6000, 21, 97);
    // The show's folder holds more pictures than the cache: every slide has to be decoded.
    p.showFolder = folder + QStringLiteral("/show");
    for (int i = 0; i < 12; ++i) {
        const QString copy =
            p.showFolder + QStringLiteral("/show_%1.jpg").arg(i + 1, 2, 10, QChar(u'0'));
        if (!QFileInfo::exists(copy))
            QFile::copy(p.p24[i % 4], copy);
    }
    return p;
}

// ---- 1. per-slide display cost -----------------------------------------------------------

struct DisplayCost {
    QSize picture, box, decoded;
    int denominator = 0;
    std::vector<double> naive, qtScaled, loader, cold, warm, limit;
};

void waitForReadAhead(frmStart& form) {
    const auto start = Clock::now();
    while ((form.tmrReadAhead->isActive() || form.pictures().isReadingAhead()) &&
           msSince(start) < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Counts the decodes a cache starts on the user-interface thread and on its workers.
struct DecodeCounter : QObject {
    int here = 0, onWorker = 0;
    explicit DecodeCounter(display::PictureCache& cache) {
        connect(&cache, &display::PictureCache::decodeStarted, this,
                [this](const QString&, QSize, bool worker) { ++(worker ? onWorker : here); });
    }
};

DisplayCost measureDisplay(frmStart& form, const QStringList& files, int runs) {
    DisplayCost cost;
    display::PictureCache& cache = form.pictures();
    if (!form.fbGetShowFile(files.first()))
        qFatal("cannot list %s", qPrintable(files.first()));
    tjhandle tj = tjInitDecompress();
    for (int run = 0; run < runs; ++run) {
        for (qint32 i = 0; i < qint32(files.size()); ++i) {
            const QString path = gsShowFolder + platform::kSep + sFile[i];

            // Cold: the whole display of a slide, nothing read ahead.
            waitForReadAhead(form);
            cache.clear();
            gnShowNo = i;
            auto start = Clock::now();
            if (!form.fbShowPic(gnShowNo))
                qFatal("cannot show %s", qPrintable(path));
            cost.cold.push_back(msSince(start));
            const QSize box = form.imgViewer->picture().size();
            cost.box = box;

            // Warm: the slide before it was shown and its read-ahead has finished.
            gnShowNo = (i + qint32(files.size()) - 1) % qint32(files.size());
            form.fbShowPic(gnShowNo);
            waitForReadAhead(form);
            gnShowNo = i;
            {
                const DecodeCounter decodes(cache);
                start = Clock::now();
                form.fbShowPic(gnShowNo);
                cost.warm.push_back(msSince(start));
                if (decodes.here != 0)
                    qFatal("the read-ahead did not hold %s", qPrintable(path));
            }
            waitForReadAhead(form);

            // The loader alone, and what it did.
            start = Clock::now();
            const display::DecodedPicture decoded = display::decodeForBox(path, box);
            cost.loader.push_back(msSince(start));
            if (decoded.image.size() != box)
                qFatal("the loader did not make the box's size for %s", qPrintable(path));
            // The DCT scale libjpeg decodes at for Qt's reader: the smallest n/8 that covers.
            cost.picture = decoded.picture;
            const double f = std::min(double(cost.picture.width()) / box.width(),
                                      double(cost.picture.height()) / box.height());
            cost.denominator = 8 / std::clamp(int(std::ceil(8 / f)), 1, 8);
            const tjscalingfactor factor{8 / cost.denominator, 8};
            cost.decoded = QSize(TJSCALED(cost.picture.width(), factor),
                                 TJSCALED(cost.picture.height(), factor));

            // The naive path: full decode, then scale.
            start = Clock::now();
            {
                QImageReader reader(path);
                reader.setAutoTransform(false);
                const QImage full = reader.read();
                const QImage scaled =
                    full.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                if (scaled.isNull())
                    qFatal("naive decode failed");
            }
            cost.naive.push_back(msSince(start));

            // Qt's reader asked for the box size.
            start = Clock::now();
            {
                QImageReader reader(path);
                reader.setAutoTransform(false);
                reader.setScaledSize(box);
                if (reader.read().isNull())
                    qFatal("Qt's scaled decode failed");
            }
            cost.qtScaled.push_back(msSince(start));

            // The limit: TurboJPEG at the same scale, file already in memory, buffer ready.
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QByteArray bytes = file.readAll();
            std::vector<unsigned char> out(size_t(cost.decoded.width()) *
                                           size_t(cost.decoded.height()) * 4);
            start = Clock::now();
            if (tjDecompress2(tj, reinterpret_cast<const unsigned char*>(bytes.constData()),
                              (unsigned long)bytes.size(), out.data(), cost.decoded.width(), 0,
                              cost.decoded.height(), TJPF_BGRA, 0) != 0)
                qFatal("TurboJPEG: %s", tjGetErrorStr2(tj));
            cost.limit.push_back(msSince(start));
        }
    }
    tjDestroy(tj);
    return cost;
}

void printDisplay(const QList<QPair<QString, DisplayCost>>& rows, int runs) {
    std::printf("\n1. Per-slide display cost, 1280 x 800 window (median of %d: 4 pictures x %d "
                "runs; ms)\n",
                runs * 4, runs);
    std::printf("   %-52s", "");
    for (const auto& r : rows)
        std::printf("%22s", qPrintable(r.first));
    std::printf("\n   %-52s", "picture -> box (px)");
    for (const auto& r : rows)
        std::printf("%22s", qPrintable(QStringLiteral("%1x%2 -> %3x%4")
                                           .arg(r.second.picture.width())
                                           .arg(r.second.picture.height())
                                           .arg(r.second.box.width())
                                           .arg(r.second.box.height())));
    std::printf("\n   %-52s", "libjpeg DCT scale, decoded size");
    for (const auto& r : rows)
        std::printf("%22s", qPrintable(QStringLiteral("1/%1 %2x%3")
                                           .arg(r.second.denominator)
                                           .arg(r.second.decoded.width())
                                           .arg(r.second.decoded.height())));
    const auto line = [&](const char* label, auto member) {
        std::printf("\n   %-52s", label);
        for (const auto& r : rows)
            std::printf("%22.1f", median(r.second.*member));
    };
    line("naive: full decode, then smooth scale", &DisplayCost::naive);
    line("Qt reader with setScaledSize (the plain port)", &DisplayCost::qtScaled);
    line("our loader alone (Qt's reader, at the box size)", &DisplayCost::loader);
    line("cold: fbShowPic, no read-ahead", &DisplayCost::cold);
    line("warm: fbShowPic, read ahead (user-interface thread)", &DisplayCost::warm);
    line("limit: TurboJPEG at the same DCT scale", &DisplayCost::limit);
    std::printf("\n   %-52s", "cold / limit (target <= 1.3 for 24 MP)");
    for (const auto& r : rows)
        std::printf("%22.2f", median(r.second.cold) / median(r.second.limit));
    std::printf("\n   %-52s", "naive / cold (target >= 3 for 24 MP)");
    for (const auto& r : rows)
        std::printf("%22.2f", median(r.second.naive) / median(r.second.cold));
    std::printf("\n");
}

// ---- 2. and 3. the show, in a process of its own ---------------------------------------------

struct ShowRecorder : QObject {
    QObject* timer = nullptr;
    QWidget* box = nullptr;          // the widget that shows the pictures
    std::function<QImage()> picture; // the picture it shows
    std::vector<Clock::time_point> ticks, shown;
    qint64 lastKey = 0;

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == timer && e->type() == QEvent::Timer)
            ticks.push_back(Clock::now());
        if (watched == box && e->type() == QEvent::Paint) {
            const QImage p = picture();
            if (!p.isNull() && p.cacheKey() != lastKey) {
                lastKey = p.cacheKey();
                shown.push_back(Clock::now());
            }
        }
        return false;
    }
};

// Starts the real window as the program does and lets its first paints settle.
void loadAndShow(frmStart& form) {
    if (!form.Form_Load())
        qFatal("start-up failed");
    form.show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs `measure` on the real window, started as the program does in a profile of its own with
// a 1280 x 800 window.
template <typename F> void withWindow(F measure) {
    QTemporaryDir profile;
    BenchServices services(profile.path());
    platform::setServices(&services);
    prepareProfile(profile.path(), platform::programBaseName(), 30, platform::twipsPerPixel());
    {
        frmStart form;
        loadAndShow(form);
        measure(form);
        form.close();
    }
    platform::setServices(nullptr);
}

// The show in the main window, or with `fullScreen` in the full-screen presentation (on the
// screen the child's platform was given).
int runShowChild(const QString& folder, bool readAhead, double seconds, bool fullScreen) {
    QTemporaryDir profile;
    BenchServices services(profile.path());
    platform::setServices(&services);
    prepareProfile(profile.path(), platform::programBaseName(), 1, platform::twipsPerPixel());

    frmStart form(std::make_unique<display::PictureCache>(readAhead ? 2 : 0));
    loadAndShow(form);

    const QStringList names = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files);
    if (!form.fbGetShowFile(folder + u'/' + names.first()))
        qFatal("cannot list %s", qPrintable(folder));
    ShowRecorder rec;
    rec.timer = form.tmrSlideShow;
    rec.box = form.imgViewer;
    rec.picture = [&form] { return form.imgViewer->picture(); };
    if (fullScreen) {
        form.enterFullScreen();
        if (!form.presentation())
            qFatal("no full screen");
        // On screen first, as when a person enters it: a window not yet exposed paints late.
        for (int i = 0; i < 100 && !form.presentation()->windowHandle()->isExposed(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        rec.box = form.presentation();
        rec.picture = [&form] {
            return form.presentation() ? form.presentation()->picture() : QImage();
        };
    }
    form.tmrSlideShow->installEventFilter(&rec);
    rec.box->installEventFilter(&rec);
    // The ten seconds count from the start of the show, with the window or the presentation
    // on screen already.
    const auto start = Clock::now();
    form.fCtrlSlideShow(true);
    // A precise timer: a coarse one (the default for long times) may end the loop 5 % early.
    const int elapsed = int(msSince(start));
    QTimer::singleShot(int(seconds * 1000) + 300 - elapsed, Qt::PreciseTimer, qApp,
                       [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    form.fCtrlSlideShow(false);
    const auto end = start + std::chrono::milliseconds(qint64(seconds * 1000));

    // Pictures shown in the window; for each tick, the time until its picture was painted.
    std::vector<Clock::time_point> shown;
    for (const auto& t : rec.shown)
        if (t < end)
            shown.push_back(t);
    std::vector<double> tickToShown, gaps;
    int ticks = 0, ticksWithout = 0;
    for (size_t k = 0; k < rec.ticks.size(); ++k) {
        if (rec.ticks[k] >= end)
            break;
        ++ticks;
        const auto next = k + 1 < rec.ticks.size() ? rec.ticks[k + 1] : Clock::time_point::max();
        const auto it = std::lower_bound(rec.shown.begin(), rec.shown.end(), rec.ticks[k]);
        if (it != rec.shown.end() && *it < next)
            tickToShown.push_back(
                std::chrono::duration<double, std::milli>(*it - rec.ticks[k]).count());
        else
            ++ticksWithout;
    }
    for (size_t i = 1; i < shown.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(shown[i] - shown[i - 1]).count());

    // VmHWM, not getrusage(): Linux carries ru_maxrss over exec(), from the parent's image.
    long peakKb = -1;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB"))
                                              .match(QString::fromLatin1(status.readAll()));
        if (m.hasMatch())
            peakKb = m.captured(1).toLong();
    }
    const QSize area = form.presentation() ? form.presentation()->pictureArea() : QSize();
    std::printf("SHOW shown=%zu ticks=%d ticks_without=%d p50=%.2f p95=%.2f max_tick=%.2f "
                "max_gap=%.1f peak_kb=%ld area_w=%d area_h=%d\n",
                shown.size(), ticks, ticksWithout, percentile(tickToShown, 50),
                percentile(tickToShown, 95), percentile(tickToShown, 100), percentile(gaps, 100),
                peakKb, area.width(), area.height());
    std::fflush(stdout);
    form.close();
    platform::setServices(nullptr);
    return 0;
}

// `screen`: the show in full screen on a screen of that size, else in the window.
QMap<QString, double> runShow(const QString& folder, bool readAhead, double seconds,
                              QSize screen = {}) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QTemporaryDir config;
    if (screen.isValid()) {
        // Qt's offscreen platform takes its screens from a file.
        const QString path = config.filePath(QStringLiteral("screen.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(QStringLiteral("{\"screens\": [{\"name\": \"bench\", \"x\": 0, \"y\": 0, "
                                  "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                                  "\"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                       .arg(screen.width())
                       .arg(screen.height())
                       .toUtf8());
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
                   QStringLiteral("offscreen:configfile=") + path);
        child.setProcessEnvironment(env);
    }
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--show-child"), folder,
                 readAhead ? QStringLiteral("on") : QStringLiteral("off"), QString::number(seconds),
                 screen.isValid() ? QStringLiteral("full") : QStringLiteral("window")});
    if (!child.waitForFinished(int(seconds * 1000) + 60000))
        qFatal("the show did not end");
    QMap<QString, double> values;
    for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n')) {
        if (!line.startsWith(QLatin1String("SHOW ")))
            continue;
        for (const QString& pair : line.mid(5).split(u' ', Qt::SkipEmptyParts))
            values[pair.section(u'=', 0, 0)] = pair.section(u'=', 1).toDouble();
    }
    if (values.isEmpty())
        qFatal("the show printed no result");
    return values;
}

// ---- 4. header reader -------------------------------------------------------------------

// Bytes this process has read through read() and its kind so far.
qint64 bytesReadSoFar() {
    QFile f(QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    const QByteArray text = f.readAll();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("rchar: (\\d+)")).match(QString::fromLatin1(text));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

void measureHeader(const QStringList& files) {
    std::printf("\n4. Header reader (GetImageInfo type 3) against reading the whole file\n");
    std::printf("   %-30s%11s%14s%12s%18s%11s\n", "file", "size (MB)", "header bytes", "header ms",
                "whole-file bytes", "whole ms");
    // Reading /proc/self/io counts too: measure that once and take it off.
    const qint64 probe0 = bytesReadSoFar();
    const qint64 probe1 = bytesReadSoFar();
    const qint64 overhead = probe1 - probe0;
    for (const QString& path : files) {
        const qint64 before = bytesReadSoFar();
        const ImageInfo info = GetImageInfo(path, 3);
        const qint64 headerBytes = bytesReadSoFar() - before - overhead;
        if (info.ImageType != 3)
            qFatal("header reader failed on %s", qPrintable(path));
        std::vector<double> headerMs, wholeMs;
        for (int i = 0; i < 200; ++i) {
            const auto start = Clock::now();
            GetImageInfo(path, 3);
            headerMs.push_back(msSince(start));
        }
        qint64 wholeBytes = 0;
        for (int i = 0; i < 10; ++i) {
            const qint64 b = bytesReadSoFar();
            const auto start = Clock::now();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            const QByteArray all = f.readAll();
            wholeMs.push_back(msSince(start));
            wholeBytes = bytesReadSoFar() - b - overhead;
            if (all.isEmpty())
                qFatal("cannot read %s", qPrintable(path));
        }
        std::printf("   %-30s%11.1f%14lld%12.3f%18lld%11.2f\n",
                    qPrintable(QStringLiteral("%1 (%2x%3)")
                                   .arg(QFileInfo(path).fileName())
                                   .arg(info.Width)
                                   .arg(info.Height)),
                    QFileInfo(path).size() / 1e6, headerBytes, median(headerMs), wholeBytes,
                    median(wholeMs));
    }
}

// ---- 5. start-up ------------------------------------------------------------------------

void measureStartup(const QString& picture, int runs) {
    std::printf("\n5. Start-up: pixelion with a 24 MP picture on its command line, offscreen, "
                "1280 x 800 window (median of %d runs; ms from main())\n",
                runs);
    std::vector<double> asked, got, painted;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir profile;
        prepareProfile(profile.path(), QStringLiteral("pixelion"), 30, platform::twipsPerPixel());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("USERPROFILE"), profile.path());
        env.insert(QStringLiteral("QT_LOGGING_RULES"),
                   QStringLiteral("pixelion.startup.info=true"));
        program.setProcessEnvironment(env);
        program.setReadChannel(QProcess::StandardError);
        program.start(QStringLiteral(PIXELION_EXECUTABLE), {picture});
        const QRegularExpression askedLine(
            QStringLiteral("first picture asked for ([\\d.]+) ms, there ([\\d.]+) ms"));
        const QRegularExpression paintedLine(QStringLiteral("first picture painted ([\\d.]+) ms"));
        QString buffer;
        QRegularExpressionMatch a, p;
        const auto start = Clock::now();
        while (!(p = paintedLine.match(buffer)).hasMatch() && msSince(start) < 20000) {
            program.waitForReadyRead(200);
            buffer += QString::fromUtf8(program.readAllStandardError());
        }
        program.terminate(); // the program closes as on a request to end
        if (!program.waitForFinished(5000))
            program.kill();
        a = askedLine.match(buffer);
        if (!a.hasMatch() || !p.hasMatch())
            qFatal("no start-up trace from pixelion: %s", qPrintable(buffer));
        asked.push_back(a.captured(1).toDouble());
        got.push_back(a.captured(2).toDouble());
        painted.push_back(p.captured(1).toDouble());
    }
    std::printf("   display asks for the picture  %8.1f\n", median(asked));
    std::printf("   display has the picture       %8.1f\n", median(got));
    std::printf("   first picture painted         %8.1f\n", median(painted));
}

// ---- 6. resizing --------------------------------------------------------------------------

// Drags the frame of the real window showing a 24 MP picture, the show stopped: 20 steps of
// 24 pixels, out and back, each delivered as the window system delivers a drag.
void measureResize(frmStart& form, const QString& picture) {
    std::printf(
        "\n6. Resizing: 20 steps of 24 px, frmStart showing a 24 MP picture, show stopped\n");
    if (!form.fbGetShowFile(picture))
        qFatal("cannot list %s", qPrintable(picture));
    form.fCtrlSlideShow(true);
    form.fCtrlSlideShow(false);
    waitForReadAhead(form);
    std::vector<double> steps;
    const DecodeCounter decodes(form.pictures());
    for (int i = 0; i < 20; ++i) {
        const int d = i < 10 ? 24 : -24;
        const QSize before = form.imgViewer->picture().size();
        const auto start = Clock::now();
        form.resize(form.width() + d, form.height() + d);
        while (form.imgViewer->picture().size() == before && msSince(start) < 5000)
            QCoreApplication::processEvents();
        steps.push_back(msSince(start));
        // The next step comes 40 ms later, as a drag of the frame delivers them.
        const auto pause = Clock::now();
        while (msSince(pause) < 40)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const int duringSteps = decodes.here + decodes.onWorker;
    waitForReadAhead(form);
    std::printf("   user-interface time per step, p50 / p95 / max (ms)  %.2f / %.2f / %.2f   "
                "(target p95 <= 15)\n",
                percentile(steps, 50), percentile(steps, 95), percentile(steps, 100));
    std::printf("   decodes started during the steps  %d   (target 0); after them  %d\n",
                duringSteps, decodes.here + decodes.onWorker - duringSteps);
}

} // namespace

int main(int argc, char* argv[]) {
    platform::returnPictureMemoryPromptly(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 6 && args[1] == QLatin1String("--show-child"))
        return runShowChild(args[2], args[3] == QLatin1String("on"), args[4].toDouble(),
                            args[5] == QLatin1String("full"));

    QString pictureFolder = QStringLiteral(PIXELION_BENCH_PICTURES);
    double seconds = 10;
    int runs = 3;
    QString parts = QStringLiteral("1234567");
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--pictures"))
            pictureFolder = args[i + 1];
        else if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toDouble();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--parts"))
            parts = args[i + 1];
    }
    const auto wanted = [&parts](char part) { return parts.contains(QLatin1Char(part)); };

    std::printf("pixelion_bench: pictures in %s, load average %s, %d cores\n",
                qPrintable(pictureFolder), qPrintable(loadAverage()), QThread::idealThreadCount());
    const Pictures pictures = ensurePictures(pictureFolder);
    std::printf("load average after making pictures: %s\n", qPrintable(loadAverage()));

    // 1. in this process, through the real window.
    if (wanted('1')) {
        withWindow([&](frmStart& form) {
            QList<QPair<QString, DisplayCost>> rows;
            rows << qMakePair(QStringLiteral("24 MP"), measureDisplay(form, pictures.p24, runs));
            rows << qMakePair(QStringLiteral("12 MP"), measureDisplay(form, pictures.p12, runs));
            printDisplay(rows, runs);
        });
    }

    // 2. and 3. each in a process of its own, so that its peak memory is its own.
    if (wanted('2') || wanted('3')) {
        std::printf("\n2. The show: frmStart, Interval 1 (100 ms), %d pictures of 24 MP, %.0f s\n",
                    12, seconds);
        std::printf("   %-14s%10s%12s%14s%12s%12s%12s%14s\n", "", "shown", "per second",
                    "ticks w/o new", "p50 ms", "p95 ms", "max ms", "longest gap");
        QMap<QString, double> show[2];
        for (int on = 1; on >= 0; --on) {
            show[on] = runShow(pictures.showFolder, on == 1, seconds);
            const QMap<QString, double>& v = show[on];
            std::printf("   %-14s%10.0f%12.2f%14.0f%12.2f%12.2f%12.2f%14.1f\n",
                        on ? "read-ahead" : "no read-ahead", v["shown"], v["shown"] / seconds,
                        v["ticks_without"], v["p50"], v["p95"], v["max_tick"], v["max_gap"]);
        }
        std::printf(
            "   targets (read-ahead): >= 9.9 per second, longest gap <= 130 ms, p95 < 10 ms\n");
        std::printf(
            "\n3. Peak resident memory of the show process (target < 60 MB with read-ahead)\n");
        for (int on = 1; on >= 0; --on)
            std::printf("   %-14s%10.1f MB\n", on ? "read-ahead" : "no read-ahead",
                        show[on]["peak_kb"] / 1024.0);
    }

    // 7. the show in full screen, in a process of its own on a screen of each size.
    if (wanted('7')) {
        std::printf("\n7. The show in full screen: Interval 1 (100 ms), %d pictures of 24 MP, "
                    "%.0f s, read-ahead\n",
                    12, seconds);
        std::printf("   %-14s%10s%12s%14s%12s%12s%14s%12s\n", "screen", "shown", "per second",
                    "ticks w/o new", "p50 ms", "p95 ms", "longest gap", "peak MB");
        for (const QSize screen : {QSize(1600, 1000), QSize(1920, 1080)}) {
            const QMap<QString, double> v = runShow(pictures.showFolder, true, seconds, screen);
            std::printf("   %-14s%10.0f%12.2f%14.0f%12.2f%12.2f%14.1f%12.1f\n",
                        qPrintable(QStringLiteral("%1 x %2").arg(v["area_w"]).arg(v["area_h"])),
                        v["shown"], v["shown"] / seconds, v["ticks_without"], v["p50"], v["p95"],
                        v["max_gap"], v["peak_kb"] / 1024.0);
        }
        std::printf(
            "   target (1600 x 1000): 10 per second; 1920 x 1080 has none (1/2-scale decodes)\n");
    }

    if (wanted('4'))
        measureHeader({pictures.p12.first(), pictures.p24.first(), pictures.big});

    if (wanted('6'))
        withWindow([&](frmStart& form) { measureResize(form, pictures.p24.first()); });

    if (wanted('5')) {
        QTemporaryDir profile;
        BenchServices services(profile.path());
        platform::setServices(&services);
        measureStartup(pictures.p24.first(), 7);
        platform::setServices(nullptr);
    }
    std::printf("\nload average at the end: %s\n", qPrintable(loadAverage()));
    return 0;
}
