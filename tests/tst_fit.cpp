// The picture box: exact proportions, always inside the area less its margin.
#include <QtTest>

#include "Error.h"
#include "PictureFit.h"

class FitTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fits_data() {
        QTest::addColumn<int>("W");
        QTest::addColumn<int>("H");
        QTest::addColumn<float>("AW");
        QTest::addColumn<float>("AH");
        QTest::addColumn<float>("boxW");
        QTest::addColumn<float>("boxH");
        // Landscape area: the height binds.
        QTest::newRow("4:3 in landscape") << 1600 << 1200 << 5000.f << 2295.f << 2660.f << 1995.f;
        QTest::newRow("5:4 in landscape") << 1280 << 1024 << 5000.f << 2295.f << 2493.f << 1995.f;
        // Portrait area: the width binds.
        QTest::newRow("3:4 in portrait") << 1200 << 1600 << 3000.f << 4000.f << 2700.f << 3600.f;
        // Square area uses the portrait rule, then the height binds.
        QTest::newRow("3:4 in square") << 1200 << 1600 << 4000.f << 4000.f << 2775.f << 3700.f;
        // Too wide for a landscape area: the width binds instead.
        QTest::newRow("3:1 in landscape") << 3000 << 1000 << 6000.f << 4000.f << 5700.f << 1900.f;
        QTest::newRow("16:9 in 16:10") << 1920 << 1080 << 4800.f << 3000.f << 4500.f << 2531.f;
        // Too tall for a portrait area.
        QTest::newRow("1:3 in portrait") << 1000 << 3000 << 3000.f << 4000.f << 1233.f << 3700.f;
        // Zero dividend: a box of no size.
        QTest::newRow("zero width, landscape") << 0 << 1200 << 5000.f << 2295.f << 0.f << 1995.f;
        QTest::newRow("zero height, portrait") << 1200 << 0 << 3000.f << 4000.f << 2700.f << 0.f;
        // Half-twip area: the bound side rounds to even.
        QTest::newRow("fractional area") << 100 << 100 << 2800.5f << 2600.5f << 2300.f << 2300.f;
    }
    void fits() {
        QFETCH(int, W);
        QFETCH(int, H);
        QFETCH(float, AW);
        QFETCH(float, AH);
        QFETCH(float, boxW);
        QFETCH(float, boxH);
        const PictureBox box = fitPictureBox(W, H, AW, AH);
        QCOMPARE(box.Width, boxW);
        QCOMPARE(box.Height, boxH);
        QVERIFY(box.Width <= AW - 300 && box.Height <= AH - 300);
    }

    void zeroDivisorThrows_data() {
        QTest::addColumn<int>("W");
        QTest::addColumn<int>("H");
        QTest::addColumn<float>("AW");
        QTest::addColumn<float>("AH");
        QTest::newRow("landscape, zero height") << 1600 << 0 << 5000.f << 2295.f;
        QTest::newRow("portrait, zero width") << 0 << 1600 << 3000.f << 4000.f;
        QTest::newRow("unmeasured file") << 0 << 0 << 5000.f << 2295.f;
    }
    void zeroDivisorThrows() {
        QFETCH(int, W);
        QFETCH(int, H);
        QFETCH(float, AW);
        QFETCH(float, AH);
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, fitPictureBox(W, H, AW, AH));
    }

    // The full-screen fit: the whole area, no margin, one side filling it.
    void fitsTheWholeArea_data() {
        QTest::addColumn<int>("W");
        QTest::addColumn<int>("H");
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QSize>("box");
        QTest::newRow("24 MP 3:2 on 16:10")
            << 6000 << 4000 << QSize(1600, 1000) << QSize(1500, 1000);
        QTest::newRow("24 MP 3:2 on 16:9")
            << 6000 << 4000 << QSize(1920, 1080) << QSize(1620, 1080);
        QTest::newRow("portrait on 16:10") << 3000 << 4000 << QSize(1600, 1000) << QSize(750, 1000);
        QTest::newRow("panorama: the width binds")
            << 8000 << 1000 << QSize(1600, 1000) << QSize(1600, 200);
        QTest::newRow("same proportions") << 3200 << 2000 << QSize(1600, 1000) << QSize(1600, 1000);
        QTest::newRow("smaller than the area grows")
            << 320 << 160 << QSize(800, 600) << QSize(800, 400);
        // 900 x 300 on 800: 266.67 rounds up, not down.
        QTest::newRow("rounded to nearest") << 900 << 300 << QSize(800, 600) << QSize(800, 267);
        QTest::newRow("a sliver stays a pixel")
            << 100000 << 1 << QSize(1600, 1000) << QSize(1600, 1);
        QTest::newRow("no picture size") << 0 << 4000 << QSize(1600, 1000) << QSize();
        QTest::newRow("no area") << 6000 << 4000 << QSize(0, 1000) << QSize();
    }
    void fitsTheWholeArea() {
        QFETCH(int, W);
        QFETCH(int, H);
        QFETCH(QSize, area);
        QFETCH(QSize, box);
        QCOMPARE(fitPictureToArea(W, H, area), box);
    }
};

QTEST_APPLESS_MAIN(FitTest)
#include "tst_fit.moc"
