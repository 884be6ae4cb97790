#pragma once
// Screen positions are designed in twips (1/1440 inch). These convert them to device-
// independent pixels at the screen's logical resolution: 15 twips per pixel at 96 DPI.
#include <QRect>

class QWidget;

namespace kov::ui {

// Logical dots per inch of the primary screen (96 when there is no screen).
double logicalDpi();
// Twips to pixels, rounded to the nearest pixel.
int twipsToPx(int twips);
// Pixels to twips.
int pxToTwips(int px);
// A rectangle given as left, top, width and height in twips.
QRect twipsRect(int left, int top, int width, int height);

// Places a top-level window in the middle of the available area of its screen, computed
// in twips: left = (screen width - window width) / 2, top = (screen height - window
// height) / 2; a top of 480 twips or less becomes 0 (the left stays centred).
void centreScreen(QWidget* window);

// The position that centreScreen computes, in twips, for a window of the given outer
// size on an area of the given size (all in twips).
QPoint centredTopLeftTwips(int areaWidth, int areaHeight, int windowWidth, int windowHeight);

} // namespace kov::ui
