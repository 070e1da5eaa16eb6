#pragma once
// The eight 16 x 16 glyphs of the player buttons, drawn by the program itself so they stay
// pixel-exact at any scale factor and need no image files.
#include <QImage>

// index 0 Start, 1 Stop, 2 Previous, 3 Next; `on` is the enabled (black) glyph, otherwise the
// disabled one (mid grey with a white highlight). An index outside 0..3 gives the bare background.
QImage makeGlyph(int index, bool on);
