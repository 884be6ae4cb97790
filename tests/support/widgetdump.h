#pragma once
// The layout of a window as text, for a golden file: every widget below it in the order
// of its children, indented by depth, with its class, its name, its geometry in pixels
// (at the offscreen platform's 96 dpi), its text (labels, buttons, check boxes) and the
// colours of a palette of its own. One CR LF line each, in CP932:
//
//   QFrame Frame1 184 72 193 333
//     BlueLabel lblZaimu8 68 296 100 20 "全　体" fg #ffffff bg #0000c0
//
//   kov::test::expectGoldenBytes(kov::test::layoutDump(form), "frmkov570_layout.txt");
#include <string>

class QWidget;

namespace kov::test {

std::string layoutDump(const QWidget& window);

} // namespace kov::test
