// KeyCodes: the key codes the windows and the voucher grid speak in. Key
// handlers receive the classic Windows virtual-key numbers (F1 = 112 ...
// F10 = 121, Enter 13, the arrows 37-40, '0'-'9' 48-57, 'A'-'Z' 65-90) and a
// shift state (1 Shift, 2 Ctrl, 4 Alt), whatever the platform reports.
// VbKeyCode() turns a Qt key event into such a code (0 for a key that has no
// such number), VbShiftState() its modifiers into the shift state, and
// VbKeyAscii() gives the character code of a character key (0 for none).
#pragma once
#include <QKeyEvent>
#include <QString>

constexpr int vbKeyBack = 8;
constexpr int vbKeyTab = 9;
constexpr int vbKeyReturn = 13;
constexpr int vbKeyShift = 16;
constexpr int vbKeyControl = 17;
constexpr int vbKeyMenu = 18;
constexpr int vbKeyPause = 19;
constexpr int vbKeyCapital = 20;
constexpr int vbKeyEscape = 27;
constexpr int vbKeySpace = 32;
constexpr int vbKeyPageUp = 33;
constexpr int vbKeyPageDown = 34;
constexpr int vbKeyEnd = 35;
constexpr int vbKeyHome = 36;
constexpr int vbKeyLeft = 37;
constexpr int vbKeyUp = 38;
constexpr int vbKeyRight = 39;
constexpr int vbKeyDown = 40;
constexpr int vbKeyInsert = 45;
constexpr int vbKeyDelete = 46;
constexpr int vbKey0 = 48;
constexpr int vbKey9 = 57;
constexpr int vbKeyA = 65;
constexpr int vbKeyZ = 90;
constexpr int vbKeyNumpad0 = 96;
constexpr int vbKeyNumpad9 = 105;
constexpr int vbKeyMultiply = 106;
constexpr int vbKeyAdd = 107;
constexpr int vbKeySubtract = 109;
constexpr int vbKeyDecimal = 110;
constexpr int vbKeyDivide = 111;
constexpr int vbKeyF1 = 112;
constexpr int vbKeyF2 = 113;
constexpr int vbKeyF3 = 114;
constexpr int vbKeyF4 = 115;
constexpr int vbKeyF5 = 116;
constexpr int vbKeyF6 = 117;
constexpr int vbKeyF7 = 118;
constexpr int vbKeyF8 = 119;
constexpr int vbKeyF9 = 120;
constexpr int vbKeyF10 = 121;
constexpr int vbKeyF11 = 122;
constexpr int vbKeyF12 = 123;

constexpr int vbShiftMask = 1;
constexpr int vbCtrlMask = 2;
constexpr int vbAltMask = 4;

// The shift state of Qt modifiers.
inline int VbShiftState(Qt::KeyboardModifiers m) {
    int s = 0;
    if (m & Qt::ShiftModifier) s |= vbShiftMask;
    if (m & Qt::ControlModifier) s |= vbCtrlMask;
    if (m & Qt::AltModifier) s |= vbAltMask;
    return s;
}

// The virtual-key number of a Qt key; 0 when the key has none.
inline int VbKeyCode(int qtKey, Qt::KeyboardModifiers m = Qt::NoModifier) {
    const bool keypad = m & Qt::KeypadModifier;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return vbKeyF1 + (qtKey - Qt::Key_F1);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return keypad ? vbKeyNumpad0 + (qtKey - Qt::Key_0) : vbKey0 + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return vbKeyA + (qtKey - Qt::Key_A);
    switch (qtKey) {
    case Qt::Key_Backspace: return vbKeyBack;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vbKeyTab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vbKeyReturn;
    case Qt::Key_Shift: return vbKeyShift;
    case Qt::Key_Control: return vbKeyControl;
    case Qt::Key_Alt: return vbKeyMenu;
    case Qt::Key_Pause: return vbKeyPause;
    case Qt::Key_CapsLock: return vbKeyCapital;
    case Qt::Key_Escape: return vbKeyEscape;
    case Qt::Key_Space: return vbKeySpace;
    case Qt::Key_PageUp: return vbKeyPageUp;
    case Qt::Key_PageDown: return vbKeyPageDown;
    case Qt::Key_End: return vbKeyEnd;
    case Qt::Key_Home: return vbKeyHome;
    case Qt::Key_Left: return vbKeyLeft;
    case Qt::Key_Up: return vbKeyUp;
    case Qt::Key_Right: return vbKeyRight;
    case Qt::Key_Down: return vbKeyDown;
    case Qt::Key_Insert: return vbKeyInsert;
    case Qt::Key_Delete: return vbKeyDelete;
    case Qt::Key_Asterisk: return keypad ? vbKeyMultiply : 56;
    case Qt::Key_Plus: return keypad ? vbKeyAdd : 187;
    case Qt::Key_Minus: return keypad ? vbKeySubtract : 189;
    case Qt::Key_Period: return keypad ? vbKeyDecimal : 190;
    case Qt::Key_Slash: return keypad ? vbKeyDivide : 191;
    // Punctuation keys (the codes of a US keyboard; shifted symbols give the
    // code of the key they are on).
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Equal: return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Greater: return 190;
    case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    case Qt::Key_ParenRight: return 48;
    case Qt::Key_Exclam: return 49;
    case Qt::Key_At: return 50;
    case Qt::Key_NumberSign: return 51;
    case Qt::Key_Dollar: return 52;
    case Qt::Key_Percent: return 53;
    case Qt::Key_AsciiCircum: return 54;
    case Qt::Key_Ampersand: return 55;
    case Qt::Key_ParenLeft: return 57;
    default: return 0;
    }
}

inline int VbKeyCode(const QKeyEvent* e) { return VbKeyCode(e->key(), e->modifiers()); }

// The character code of a character key: the code point of the typed
// character; Backspace 8, Enter 13 and Esc 27 count as characters, other
// control characters (Tab, Ctrl+letter) do not. 0 for no character.
inline int VbKeyAscii(const QKeyEvent* e) {
    const QString t = e->text();
    if (t.isEmpty()) return 0;
    const char32_t c = t.toUcs4().value(0);
    if (c == 8 || c == 13 || c == 27) return static_cast<int>(c);
    if (c < 32 || c == 127) return 0;
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return 0;
    return static_cast<int>(c);
}
