#pragma once
// The main window's layout rule: where every control goes for a client area of a given size,
// in twips, with the window's fixed sizes and margins. The window applies it on every change of
// its size; start-up uses it to guess the picture area before the window exists.
#include <QtGlobal>

// A control's rectangle in twips (1/1440 inch), relative to its container.
struct TwipsRect {
    float Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TwipsRect&) const = default;
};

namespace layout {

// The smallest outer size of the window.
inline constexpr float kMinOuterWidth = 6000;
inline constexpr float kMinOuterHeight = 4500;
// The client area as the window is created (below the menu bar).
inline constexpr float kDesignClientWidth = 9780;
inline constexpr float kDesignClientHeight = 4875;

// The controls as they are created; only the picture area ever changes size.
inline constexpr TwipsRect kLblMsg{120, 120, 4335, 375};
inline constexpr TwipsRect kLblCnt{7560, 120, 1455, 255};
inline constexpr TwipsRect kFraImgArea{120, 720, 5000, 2295};
inline constexpr TwipsRect kImgViewer{2000, 195, 1000, 2055};
inline constexpr TwipsRect kFraFunc{7560, 480, 1455, 2175};
inline constexpr TwipsRect kCmdEnd{7680, 2880, 1320, 375};

} // namespace layout

struct MainLayout {
    TwipsRect lblMsg, lblCnt, fraImgArea, fraFunc, cmdEnd;
};

// The rectangles of the window's controls for a client area of W x H twips, all arithmetic in
// single precision: the message and the counter along the top, the picture area below them
// reaching the bottom edge, the player frame at the right edge and 終了 in the lower right
// corner.
MainLayout mainLayout(float W, float H);
