#pragma once
// The screens' font. Every control of the suite uses "ＭＳ ゴシック" 9 point. On Linux
// fontconfig maps that name (and "MS Gothic") to a Latin sans font that has no Japanese
// glyphs of its own, so the names are substituted with a Japanese monospaced Gothic.
#include <QFont>
#include <QString>

namespace kov::ui {

// "ＭＳ ゴシック"
QString screenFontFamily();
// Registers the substitutions for the Japanese font names used by the screens (Gothic
// to IPAGothic, with the other Japanese Gothic families as further fallbacks). Call
// once after the QApplication exists; runProgram does it.
void installJapaneseFonts();
// "ＭＳ ゴシック", 9 point, normal weight.
QFont screenFont();

} // namespace kov::ui
