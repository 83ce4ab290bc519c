// Keys that main windows treat alike.
#pragma once

class QDialog;

namespace WindowKeys {

// Escape that reaches the window itself (no field, cell editor or popup
// took it) does nothing: a main window closes only by its close button,
// Alt+X or the title bar. Dialogs opened from it keep Escape = cancel.
void IgnoreEscape(QDialog* window);

}  // namespace WindowKeys
