// Input-method control of the windows: every input field's focus handler
// opens or closes the input method.
#pragma once

class QWidget;

namespace basIME {

// Opens (true) or closes (false) the input method of the field that has the
// focus in the window `form` (its focus widget; a window without one is left
// alone). Closing opens it first, lets pending window events run, then closes
// it (the open-then-close sequence), so a half-open state is always reset.
void SetImeOpen(QWidget* form, bool open);

}  // namespace basIME
