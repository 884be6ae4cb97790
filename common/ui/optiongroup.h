#pragma once
// Option groups operated from the keyboard as the desk is used to: in a group of option
// buttons the arrow keys move the choice, Up and Left to the previous option, Down and
// Right to the next, whatever way the options are laid out (side by side or one under
// the other), round from the last option to the first and back.
#include <QList>

class QAbstractButton;

namespace kov::ui {

// Links the options (in their order in the group: first to last) so that an arrow key
// on one of them focuses and chooses the previous or next one that is enabled and shown.
// The arrow keys are then no longer handed to the options themselves.
void linkOptionGroup(const QList<QAbstractButton*>& options);

} // namespace kov::ui
