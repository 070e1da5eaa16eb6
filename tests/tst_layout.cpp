// The main window's layout rule as a pure function: every control's rectangle for a client area.
#include <QtTest>

#include "MainLayout.h"

Q_DECLARE_METATYPE(TwipsRect)

namespace QTest {
template <> char* toString(const TwipsRect& r) {
    return qstrdup(QStringLiteral("%1,%2 %3x%4")
                       .arg(r.Left)
                       .arg(r.Top)
                       .arg(r.Width)
                       .arg(r.Height)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class LayoutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlsFollowTheClientArea_data() {
        QTest::addColumn<float>("W");
        QTest::addColumn<float>("H");
        QTest::addColumn<TwipsRect>("area");
        QTest::addColumn<TwipsRect>("counter");
        QTest::addColumn<TwipsRect>("player");
        QTest::addColumn<TwipsRect>("exit");
        // The window as created: area 8025 x 4300, panel and counter at 8225, exit at 8310,4400.
        QTest::newRow("design size")
            << 9780.f << 4875.f << TwipsRect{100, 575, 8025, 4300}
            << TwipsRect{8225, 100, 1455, 255} << TwipsRect{8225, 575, 1455, 2175}
            << TwipsRect{8310, 4400, 1320, 375};
        QTest::newRow("a maximised 1600 x 1000 screen")
            << 24000.f << 13200.f << TwipsRect{100, 575, 22245, 12625}
            << TwipsRect{22445, 100, 1455, 255} << TwipsRect{22445, 575, 1455, 2175}
            << TwipsRect{22530, 12725, 1320, 375};
        // Single precision, as the window computes it: a fraction of a twip stays.
        QTest::newRow("odd pixels at 96 dpi")
            << 7502.5f << 3907.5f << TwipsRect{100, 575, 5747.5f, 3332.5f}
            << TwipsRect{5947.5f, 100, 1455, 255} << TwipsRect{5947.5f, 575, 1455, 2175}
            << TwipsRect{6032.5f, 3432.5f, 1320, 375};
    }
    void controlsFollowTheClientArea() {
        QFETCH(float, W);
        QFETCH(float, H);
        const MainLayout l = mainLayout(W, H);
        QCOMPARE(l.lblMsg, (TwipsRect{100, 100, 4335, 375}));
        QFETCH(TwipsRect, area);
        QCOMPARE(l.fraImgArea, area);
        QFETCH(TwipsRect, counter);
        QCOMPARE(l.lblCnt, counter);
        QFETCH(TwipsRect, player);
        QCOMPARE(l.fraFunc, player);
        QFETCH(TwipsRect, exit);
        QCOMPARE(l.cmdEnd, exit);
        // The margins the rule promises: the area reaches the bottom, 100 twips before the panel.
        QCOMPARE(l.fraImgArea.Top + l.fraImgArea.Height, H);
        QCOMPARE(l.fraFunc.Left - (l.fraImgArea.Left + l.fraImgArea.Width), 100.f);
        QCOMPARE(l.lblCnt.Left, l.fraFunc.Left);
    }
};

QTEST_APPLESS_MAIN(LayoutTest)
#include "tst_layout.moc"
