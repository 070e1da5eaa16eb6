#include "Twips.h"

#include <cmath>

#include "Services.h"

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

namespace {
void setOne(QWidget* w, float TwipsRect::*field, float value) {
    TwipsRect r = twipsOf(w);
    r.*field = value;
    setTwips(w, r);
}
} // namespace

void setTwipsLeft(QWidget* w, float left) {
    setOne(w, &TwipsRect::Left, left);
}
void setTwipsTop(QWidget* w, float top) {
    setOne(w, &TwipsRect::Top, top);
}
void setTwipsWidth(QWidget* w, float width) {
    setOne(w, &TwipsRect::Width, width);
}
void setTwipsHeight(QWidget* w, float height) {
    setOne(w, &TwipsRect::Height, height);
}
