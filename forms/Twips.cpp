#include "Twips.h"

#include <cmath>

#include "platform/Services.h"

namespace {
const char* const kLeft = "twLeft";
const char* const kTop = "twTop";
const char* const kWidth = "twWidth";
const char* const kHeight = "twHeight";
} // namespace

int twipsToPixels(double twips) {
    return int(std::lround(twips / platform::twipsPerPixel()));
}

float pixelsToTwips(int pixels) {
    return float(pixels * platform::twipsPerPixel());
}

TwipsRect twipsOf(const QWidget* w) {
    if (w->property(kLeft).isValid())
        return {w->property(kLeft).toFloat(), w->property(kTop).toFloat(),
                w->property(kWidth).toFloat(), w->property(kHeight).toFloat()};
    const QRect g = w->geometry();
    return {pixelsToTwips(g.x()), pixelsToTwips(g.y()), pixelsToTwips(g.width()),
            pixelsToTwips(g.height())};
}

void setTwips(QWidget* w, const TwipsRect& r) {
    w->setProperty(kLeft, r.Left);
    w->setProperty(kTop, r.Top);
    w->setProperty(kWidth, r.Width);
    w->setProperty(kHeight, r.Height);
    w->setGeometry(twipsToPixels(r.Left), twipsToPixels(r.Top), qMax(0, twipsToPixels(r.Width)),
                   qMax(0, twipsToPixels(r.Height)));
}

void setTwipsLeft(QWidget* w, float left) {
    TwipsRect r = twipsOf(w);
    r.Left = left;
    setTwips(w, r);
}

void setTwipsTop(QWidget* w, float top) {
    TwipsRect r = twipsOf(w);
    r.Top = top;
    setTwips(w, r);
}

void setTwipsWidth(QWidget* w, float width) {
    TwipsRect r = twipsOf(w);
    r.Width = width;
    setTwips(w, r);
}

void setTwipsHeight(QWidget* w, float height) {
    TwipsRect r = twipsOf(w);
    r.Height = height;
    setTwips(w, r);
}
