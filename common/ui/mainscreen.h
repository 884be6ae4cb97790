#pragma once
// What every main screen of the suite shares in its window: a fixed client area given
// in twips, a title bar without close, minimise and maximise buttons, the screens' font,
// and the place in the middle of the display.
#include <QString>

class QWidget;

namespace kov::ui {

// Makes screen a main screen: caption, fixed client size (twips), "ＭＳ ゴシック" 9 pt,
// no control box (a close request from the window system, e.g. Alt+F4, is ignored: the
// user ends the program with the end key), centred by centreScreen. Call it in the
// screen's load step, after its controls exist.
void setupMainScreen(QWidget* screen, const QString& caption, int clientWidthTwips, int clientHeightTwips);

// Gives control the focus as the screen opens, with its focus mark shown: the screens are
// worked from the keyboard, so the mark shows from the start, not only after a first Tab
// as the style would otherwise have it.
void setOpeningFocus(QWidget* control);

} // namespace kov::ui
