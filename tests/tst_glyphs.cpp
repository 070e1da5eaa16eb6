// The player-button glyphs, pixel for pixel. Each picture below is drawn by hand from the
// glyph descriptions: '.' background (192,192,192), '#' the shape (black enabled, 128 grey
// disabled), 'w' the white highlight of a disabled glyph.
#include <QtTest>

#include "Glyphs.h"

namespace {

const QStringList kStartOn = {
    "................", "................", "................", "...##...........",
    "...####.........", "...######.......", "...########.....", "...##########...",
    "...########.....", "...######.......", "...####.........", "...##...........",
    "................", "................", "................", "................",
};
const QStringList kStartOff = {
    "................", "................", "................", "...##...........",
    "...####.........", "...######.......", "...########.....", "...##########...",
    "...########www..", "...######www....", "...####www......", "...##www........",
    "....ww..........", "................", "................", "................",
};
const QStringList kStopOn = {
    "................", "................", "................", "....########....",
    "....########....", "....########....", "....########....", "....########....",
    "....########....", "....########....", "....########....", "....########....",
    "................", "................", "................", "................",
};
const QStringList kStopOff = {
    "................", "................", "................", "....########....",
    "....########w...", "....########w...", "....########w...", "....########w...",
    "....########w...", "....########w...", "....########w...", "....########w...",
    ".....wwwwwwww...", "................", "................", "................",
};
const QStringList kPreviousOn = {
    "................", "................", "................", ".##........##...",
    ".##......####...", ".##....######...", ".##..########...", ".############...",
    ".##..########...", ".##....######...", ".##......####...", ".##........##...",
    "................", "................", "................", "................",
};
const QStringList kPreviousOff = {
    "................", "................", "................", ".##........##...",
    ".##w.....####w..", ".##w...######w..", ".##w.########w..", ".############w..",
    ".##ww########w..", ".##w..w######w..", ".##w....w####w..", ".##w......w##w..",
    "..ww........ww..", "................", "................", "................",
};
const QStringList kNextOn = {
    "................", "................", "................", "...##........##.",
    "...####......##.", "...######....##.", "...########..##.", "...############.",
    "...########..##.", "...######....##.", "...####......##.", "...##........##.",
    "................", "................", "................", "................",
};
const QStringList kNextOff = {
    "................", "................", "................", "...##........##.",
    "...####......##w", "...######....##w", "...########..##w", "...############w",
    "...########ww##w", "...######www.##w", "...####www...##w", "...##www.....##w",
    "....ww........ww", "................", "................", "................",
};

QRgb colourOf(QChar c, bool on) {
    if (c == u'#')
        return on ? qRgb(0, 0, 0) : qRgb(128, 128, 128);
    if (c == u'w')
        return qRgb(255, 255, 255);
    return qRgb(192, 192, 192);
}

} // namespace

class TestGlyphs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void drawsEachGlyph_data();
    void drawsEachGlyph();
    void unknownIndexIsBlank();
};

void TestGlyphs::drawsEachGlyph_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QStringList>("picture");

    QTest::newRow("Start on") << 0 << true << kStartOn;
    QTest::newRow("Start off") << 0 << false << kStartOff;
    QTest::newRow("Stop on") << 1 << true << kStopOn;
    QTest::newRow("Stop off") << 1 << false << kStopOff;
    QTest::newRow("Previous on") << 2 << true << kPreviousOn;
    QTest::newRow("Previous off") << 2 << false << kPreviousOff;
    QTest::newRow("Next on") << 3 << true << kNextOn;
    QTest::newRow("Next off") << 3 << false << kNextOff;
}

void TestGlyphs::drawsEachGlyph() {
    QFETCH(int, index);
    QFETCH(bool, on);
    QFETCH(QStringList, picture);
    QCOMPARE(picture.size(), 16);

    const QImage image = makeGlyph(index, on);
    QCOMPARE(image.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y) {
        QCOMPARE(picture[y].size(), 16);
        for (int x = 0; x < 16; ++x) {
            const QRgb expected = colourOf(picture[y][x], on);
            if (image.pixel(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel column %1 row %2 is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 8, 16, QChar(u'0'))
                                     .arg(expected, 8, 16, QChar(u'0'))));
        }
    }
}

void TestGlyphs::unknownIndexIsBlank() {
    const QImage image = makeGlyph(4, true);
    QCOMPARE(image.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            QCOMPARE(image.pixel(x, y), qRgb(192, 192, 192));
}

QTEST_GUILESS_MAIN(TestGlyphs)
#include "tst_glyphs.moc"
