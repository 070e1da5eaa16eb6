#pragma once
// Control geometry in twips (1/1440 inch), kept as single-precision numbers on each widget so
// the layout arithmetic and the log read the same values as the design; converted to pixels
// only when the widget is placed.
#include <QWidget>

#include "MainLayout.h"

// The widget's rectangle in twips: the stored one, or its pixel geometry converted.
TwipsRect twipsOf(const QWidget* w);
// Stores the rectangle and places the widget at the nearest pixels.
void setTwips(QWidget* w, const TwipsRect& r);
void setTwipsLeft(QWidget* w, float left);
void setTwipsTop(QWidget* w, float top);
void setTwipsWidth(QWidget* w, float width);
void setTwipsHeight(QWidget* w, float height);

// Pixel <-> twips at the primary screen's logical dpi.
int twipsToPixels(double twips);
float pixelsToTwips(int pixels);
