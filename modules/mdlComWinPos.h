#pragma once
// Window rectangles per form caption in Setting.INI, section "Window_Pos", in twips.
#include <array>
#include <span>

#include <QRect>
#include <QString>

// Left, Top, Width, Height in twips, screen coordinates.
using WinPos = std::array<qint32, 4>;

enum WindowStateCode : qint32 { kWindowNormal = 0, kWindowMinimized = 1, kWindowMaximized = 2 };

// Fills hnPos from the stored entry (default "1000,1000,2000,2000") and pulls Left and Top back
// onto the primary screen. Errors (folder, screen) go to the caller.
void gGetWinPos(const QString& hsCaption, WinPos& hnPos);
// Stores hnPos unless the window is minimised or maximised or its top-left corner is off screen.
void gPutWinPos(const QString& hsCaption, const WinPos& hnPos,
                qint32 hnWindowState = kWindowNormal);
void gSplitWinPos(const QString& hsText, WinPos& hnPos);
void fSplitCsvLong(const QString& hsText, qint32 hnCount, std::span<qint32> hnValues);

// A window's outer rectangle moved, and where it is larger reduced, so that it lies wholly
// inside `available` (the screen less its panels): a rectangle stored on a larger screen, or
// edited by hand, never opens a window out of reach or of unbounded size. One that fits is
// returned as it is.
QRect fitOnScreen(const QRect& outer, const QRect& available);
