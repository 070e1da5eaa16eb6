#include <QtTest>

#include <QBuffer>
#include <QImage>

#include <optional>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "Error.h"
#include "GetImage.h"

Q_DECLARE_METATYPE(ImageInfo)

static QString describe(const ImageInfo& info) {
    return QStringLiteral("{type %1, %2 x %3, %4 bpp}")
        .arg(info.ImageType)
        .arg(info.Width)
        .arg(info.Height)
        .arg(info.BPP);
}

char* toString(const ImageInfo& info) {
    return QTest::toString(describe(info));
}

namespace {

using Outcome = std::optional<ImageInfo>; // empty: the read raised an error

const ImageInfo kNone{};

void put16le(QByteArray& b, int at, quint32 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8 & 0xFF);
}
void put32le(QByteArray& b, int at, quint32 v) {
    put16le(b, at, v & 0xFFFF);
    put16le(b, at + 2, v >> 16);
}
void put32be(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (24 - 8 * i) & 0xFF);
}

QByteArray bmp(quint32 width, quint32 height, quint16 bpp) {
    QByteArray b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32le(b, 18, width);
    put32le(b, 22, height);
    put16le(b, 28, bpp);
    return b;
}

QByteArray gif(const char* signature, quint16 width, quint16 height, quint8 packed) {
    QByteArray b = QByteArray(signature) + "89a";
    b.resize(13, '\0');
    put16le(b, 6, width);
    put16le(b, 8, height);
    b[10] = char(packed);
    return b;
}

QByteArray png(quint32 width, quint32 height, quint8 depth, quint8 colourType) {
    QByteArray b = QByteArray::fromHex("89504E470D0A1A0A0000000D49484452");
    b.resize(33, '\0');
    put32be(b, 16, width);
    put32be(b, 20, height);
    b[24] = char(depth);
    b[25] = char(colourType);
    return b;
}

const QByteArray kSoi = QByteArray::fromHex("FFD8");
const QByteArray kApp0 = QByteArray::fromHex("FFE000104A46494600010100000100010000"); // length 16
const QByteArray kEoi = QByteArray::fromHex("FFD9");

// A frame header: marker, length 17, precision 8, lines, samples per line, three components.
QByteArray frame(quint8 marker, quint16 lines, quint16 samples) {
    QByteArray b = QByteArray::fromHex("FF00001108");
    b[1] = char(marker);
    b += char(lines >> 8);
    b += char(lines & 0xFF);
    b += char(samples >> 8);
    b += char(samples & 0xFF);
    return b + QByteArray::fromHex("03011100021101031101");
}

struct HeaderCase {
    QByteArray name;
    QString fileName;
    QByteArray content;
    qint32 type;
    Outcome expected;
};

QList<HeaderCase> jpegCases() {
    const ImageInfo measured{3, 768, 1024, 24};
    const QByteArray baseline = kSoi + kApp0 + frame(0xC0, 1024, 768) + kEoi;
    QList<HeaderCase> cases{
        {"JPEG baseline", "a.jpg", baseline, 3, measured},
        {"JPEG progressive", "a.jpg", kSoi + kApp0 + frame(0xC2, 1024, 768) + kEoi, 3, measured},
        {"JPEG arithmetic 0xCB", "a.jpg", kSoi + frame(0xCB, 1024, 768), 3, measured},
        {"JPEG tables before the frame", "a.jpg",
         kSoi + QByteArray::fromHex("FFC40005000102FFDB0004AAAA") + frame(0xC1, 1024, 768), 3,
         measured},
        {"JPEG frame header ends with the file", "a.jpg",
         (kSoi + kApp0 + frame(0xC0, 1024, 768)).left(29), 3, measured},
        {"JPEG frame header cut off", "a.jpg", (kSoi + kApp0 + frame(0xC0, 1024, 768)).left(28), 3,
         std::nullopt},
        {"JPEG frame marker too near the end", "a.jpg",
         (kSoi + kApp0 + frame(0xC0, 1024, 768)).left(24), 3, kNone},
        // Fill bytes before a marker and stray bytes between segments are skipped, as libjpeg
        // skips them.
        {"JPEG stray bytes before the tables", "a.jpg",
         kSoi + kApp0 + QByteArray(4, '\0') + QByteArray::fromHex("FFDB0004AAAA") +
             frame(0xC0, 1024, 768),
         3, measured},
        {"JPEG fill bytes after the start of image", "a.jpg",
         kSoi + QByteArray::fromHex("FFFF") + kApp0.mid(1) + frame(0xC0, 1024, 768), 3, measured},
        {"JPEG fill bytes after APP0", "a.jpg",
         kSoi + kApp0 + QByteArray::fromHex("FFFFFF") + frame(0xC0, 1024, 768).mid(1), 3, measured},
        {"JPEG stuffed zero between segments", "a.jpg",
         kSoi + kApp0 + QByteArray::fromHex("FF00") + frame(0xC0, 1024, 768), 3, measured},
        {"JPEG stray bytes and no marker after them", "a.jpg", kSoi + kApp0 + QByteArray(40, 'x'),
         3, kNone},
        {"JPEG frame header cut off after fill bytes", "a.jpg",
         (kSoi + QByteArray::fromHex("FFFFFF") + frame(0xC0, 1024, 768).mid(1)).left(10), 3,
         std::nullopt},
        {"JPEG scan before any frame", "a.jpg",
         kSoi + QByteArray::fromHex("FFDA0004AAAA") + frame(0xC0, 1024, 768), 3, kNone},
        {"JPEG start of image only", "a.jpg", kSoi, 3, kNone},
        {"JPEG without start of image", "a.jpg", kEoi + kApp0 + frame(0xC0, 1024, 768), 3, kNone},
        {"JPEG type 0", "a.dat", baseline, 0, measured},
        {"JPEG type 5 capitals", "A.JPG", baseline, 5, measured},
        {"JPEG type 5 jpeg", "a.jpeg", baseline, 5, measured},
        {"JPEG type 5 tif", "a.tif", baseline, 5, kNone},
        {"JPEG with BMP type", "a.jpg", baseline, 1, kNone},
        {"JPEG type 6", "a.jpg", baseline, 6, kNone},
        {"JPEG type -1", "a.jpg", baseline, -1, kNone},
#ifndef Q_OS_WIN
        {"JPEG named as hidden", ".a.jpg", baseline, 3, measured},
#endif
    };
    // Differential frames and the markers that are no frames are skipped as segments.
    for (quint8 m : {0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xCC, 0xCD, 0xCE, 0xCF}) {
        const QByteArray tag = QByteArray::number(m, 16).toUpper();
        cases.append({"JPEG only " + tag + " then end", "a.jpg",
                      kSoi + kApp0 + frame(m, 1024, 768) + kEoi, 3, kNone});
        cases.append({"JPEG only " + tag + " then data", "a.jpg",
                      kSoi + frame(m, 1024, 768) + QByteArray(8, '\x11'), 3, kNone});
    }
    return cases;
}

QList<HeaderCase> headerCases() {
    QList<HeaderCase> cases = jpegCases();
    const QByteArray bmp640 = bmp(640, 480, 24);
    const QByteArray gif320 = gif("GIF", 320, 200, 0xF7);
    const QByteArray png800 = png(800, 600, 8, 3);
    cases += QList<HeaderCase>{
        {"BMP 640x480", "a.bmp", bmp640, 1, ImageInfo{1, 640, 480, 24}},
        {"BMP top-down", "a.bmp", bmp(640, quint32(-480), 24), 1, std::nullopt},
        {"BMP short, zero-filled", "a.bmp", bmp640.left(26), 1, ImageInfo{1, 640, 480, 0}},
        {"BMP signature only", "a.bmp", "BM", 1, ImageInfo{1, 0, 0, 0}},
        {"BMP type 0", "a.dat", bmp640, 0, ImageInfo{1, 640, 480, 24}},
        {"BMP type 5", "a.BMP", bmp640, 5, ImageInfo{1, 640, 480, 24}},
        {"GIF 320x200", "a.gif", gif320, 2, ImageInfo{2, 320, 200, 8}},
        {"GIF small colour table", "a.gif", gif("GIF", 1, 2, 0x80), 2, ImageInfo{2, 1, 2, 1}},
        {"GIX is no GIF", "a.gif", gif("GIX", 320, 200, 0xF7), 2, kNone},
        {"GOF is no GIF", "a.gif", gif("GOF", 320, 200, 0xF7), 2, kNone},
        {"GIF signature only", "a.gif", "GIF", 2, ImageInfo{2, 0, 0, 1}},
        {"GIF type 0", "a.dat", gif320, 0, ImageInfo{2, 320, 200, 8}},
        {"GIF type 5", "a.gif", gif320, 5, ImageInfo{2, 320, 200, 8}},
        {"PNG palette", "a.png", png800, 4, ImageInfo{4, 800, 600, 8}},
        {"PNG truecolour", "a.png", png(800, 600, 8, 2), 4, ImageInfo{4, 800, 600, 24}},
        {"PNG truecolour 16", "a.png", png(800, 600, 16, 2), 4, ImageInfo{4, 800, 600, 48}},
        {"PNG greyscale", "a.png", png(800, 600, 16, 0), 4, ImageInfo{4, 800, 600, 16}},
        {"PNG with alpha", "a.png", png(800, 600, 8, 6), 4, ImageInfo{4, 800, 600, 0}},
        {"PNG grey with alpha", "a.png", png(800, 600, 8, 4), 4, ImageInfo{4, 800, 600, 0}},
        {"PNG too wide", "a.png", png(0x80000000u, 600, 8, 2), 4, std::nullopt},
        {"PNG signature only", "a.png", png800.left(4), 4, ImageInfo{4, 0, 0, 0}},
        {"PNG type 0", "a.dat", png800, 0, ImageInfo{4, 800, 600, 8}},
        {"PNG type 5", "a.png", png800, 5, ImageInfo{4, 800, 600, 8}},
        {"PNG as JPEG", "a.png", png800, 3, kNone},
        {"PNG type 5 other extension", "a.png.txt", png800, 5, kNone},
        {"unknown signature type 0", "a.dat", "RIFF1234WEBP", 0, kNone},
        {"empty file", "a.jpg", QByteArray(), 0, kNone},
    };
    for (qint32 type = -1; type <= 6; ++type)
        cases.append({"one byte, type " + QByteArray::number(type), "a.jpg", "\xFF", type, kNone});
    return cases;
}

// The header reader's JPEG walk as a plain reading of the whole file, every byte access
// checked: the streaming reader must give the same answers.
Outcome wholeFileJpeg(const QByteArray& file) {
    if (file.size() < 2) // the file check comes first
        return kNone;
    const qint64 n = file.size();
    const auto at = [&](qint64 i) -> int {
        if (i >= n)
            throw std::out_of_range("past the end");
        return quint8(file[i]);
    };
    try {
        if (at(0) != 0xFF || at(1) != 0xD8)
            return kNone;
        for (qint64 pos = 2; pos < n - 4; pos += 2 + at(pos + 2) * 256 + at(pos + 3)) {
            // Fill bytes and stray bytes up to the next 0xFF that is followed by a marker.
            while (pos + 1 < n && (at(pos) != 0xFF || at(pos + 1) == 0xFF || at(pos + 1) == 0))
                ++pos;
            if (pos + 1 >= n)
                return kNone;
            if (pos >= n - 4)
                break;
            const int m = at(pos + 1);
            if (m == 0xDA)
                return kNone; // a scan before any frame
            if ((m >= 0xC0 && m <= 0xC3) || (m >= 0xC9 && m <= 0xCB))
                return ImageInfo{3, at(pos + 7) * 256 + at(pos + 8),
                                 at(pos + 5) * 256 + at(pos + 6), 24};
        }
        return kNone;
    } catch (const std::out_of_range&) {
        return std::nullopt;
    }
}

template <typename Read> Outcome outcomeOf(Read read) {
    try {
        return read();
    } catch (const platform::RuntimeError&) {
        return std::nullopt;
    }
}

} // namespace

class TestGetImage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void headers_data();
    void headers();
    void readable_data();
    void readable();
    void missingFileReadsAsNothing();
    void unopenableFileThrows();
    void streamingMatchesWholeFile();

private:
    QString write(const QString& name, const QByteArray& content);
    QTemporaryDir dir;
};

QString TestGetImage::write(const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile::remove(path); // a fresh file: truncating one in place may flush it to disk first
    QFile file(path);
    if (!file.open(QIODevice::NewOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestGetImage::headers_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("throws");
    QTest::addColumn<ImageInfo>("expected");
    for (const HeaderCase& c : headerCases())
        QTest::newRow(c.name.constData()) << c.fileName << c.content << int(c.type)
                                          << !c.expected.has_value() << c.expected.value_or(kNone);
}

void TestGetImage::headers() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, type);
    QFETCH(bool, throws);
    QFETCH(ImageInfo, expected);
    const QString path = write(fileName, content);
    if (throws)
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, GetImageInfo(path, type));
    else
        QCOMPARE(GetImageInfo(path, type), expected);
    QFile::remove(path);
}

void TestGetImage::readable_data() {
    QTest::addColumn<QString>("name"); // what the check is asked about
    QTest::addColumn<bool>("readable");
    QTest::newRow("two bytes") << "two.jpg" << true;
    QTest::newRow("one byte") << "one.jpg" << false;
    QTest::newRow("empty") << "empty.jpg" << false;
    QTest::newRow("missing") << "missing.jpg" << false;
    QTest::newRow("folder") << "folder.jpg" << false;
    QTest::newRow("wildcard standing for a file") << "tw?.jpg" << false;
#ifdef Q_OS_UNIX
    QTest::newRow("other case") << "TWO.JPG" << false;
    QTest::newRow("named as hidden") << ".two.jpg" << true;
    QTest::newRow("pipe") << "pipe.jpg" << false; // must not block on opening it
#endif
}

void TestGetImage::readable() {
    QFETCH(QString, name);
    QFETCH(bool, readable);
    QTemporaryDir folder;
    const auto make = [&](const char* file, const QByteArray& content) {
        QFile f(folder.filePath(QLatin1String(file)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    make("two.jpg", kSoi);
    make(".two.jpg", kSoi);
    make("one.jpg", "\xFF");
    make("empty.jpg", QByteArray());
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("folder.jpg")));
#ifdef Q_OS_UNIX
    QCOMPARE(
        ::mkfifo(QFile::encodeName(folder.filePath(QStringLiteral("pipe.jpg"))).constData(), 0600),
        0);
#endif
    const QString path = folder.filePath(name);
    QCOMPARE(IsImageFileReadable(path), readable);
    if (!readable) // nor does any reader open it
        QCOMPARE(GetImageInfo(path, 3), kNone);
}

// Each reader makes its own check, so calling one alone on a missing file is no error.
void TestGetImage::missingFileReadsAsNothing() {
    const QString path = dir.filePath(QStringLiteral("missing.jpg"));
    QCOMPARE(ReadBmpHeader(path), kNone);
    QCOMPARE(ReadGifHeader(path), kNone);
    QCOMPARE(ReadJpegHeader(path), kNone);
    QCOMPARE(ReadPngHeader(path), kNone);
    QCOMPARE(GetImageInfo(path, 0), kNone);
}

void TestGetImage::unopenableFileThrows() {
    const QString path = write(QStringLiteral("locked.jpg"), kSoi + kApp0);
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("file permissions do not stop this user from reading");
    QVERIFY(IsImageFileReadable(path));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, GetImageInfo(path, 3));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, GetImageInfo(path, 0));
}

// The reader walks the file segment by segment; it must answer as a reading of the whole file
// would, for every case above and for every length a real JPEG may be cut to.
void TestGetImage::streamingMatchesWholeFile() {
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(image.save(&buffer, "JPG"));
    const QByteArray real = buffer.data();
    QCOMPARE(wholeFileJpeg(real), Outcome(ImageInfo{3, 24, 16, 24}));

    QList<QByteArray> files{real};
    for (const HeaderCase& c : jpegCases())
        files << c.content;
    int throwing = 0;
    for (const QByteArray& full : files) {
        for (qsizetype length = 0; length <= full.size(); ++length) {
            const QByteArray content = full.left(length);
            const QString path = write(QStringLiteral("cut.jpg"), content);
            const Outcome expected = wholeFileJpeg(content);
            const Outcome streamed = outcomeOf([&] { return ReadJpegHeader(path); });
            if (streamed != expected)
                QFAIL(
                    qPrintable(QStringLiteral("%1 of %2 bytes: streamed %3, whole file %4")
                                   .arg(length)
                                   .arg(full.size())
                                   .arg(streamed ? describe(*streamed) : QStringLiteral("error"))
                                   .arg(expected ? describe(*expected) : QStringLiteral("error"))));
            throwing += !expected.has_value();
        }
    }
    QVERIFY(throwing > 0); // the cut-off frame header was among the lengths
}

QTEST_MAIN(TestGetImage)
#include "tst_getimage.moc"
