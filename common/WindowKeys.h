// Keys that the windows and dialogs treat alike.
#pragma once

class QDialog;
class QWidget;

namespace WindowKeys {

// Escape that reaches the window itself (no field, cell editor or popup
// took it) does nothing: a main window closes only by its close button,
// Alt+X or the title bar. Dialogs opened from it keep Escape = cancel.
void IgnoreEscape(QDialog* window);

// A command given by its access key runs as a click of its button does: the
// focus moves to the button first, so the field being edited is left (it is
// tidied and its leave rules run) before the command reads it. Called first
// in the command; nothing happens when the button has the focus already.
void TakeFieldInProgress(QWidget* button);

}  // namespace WindowKeys
