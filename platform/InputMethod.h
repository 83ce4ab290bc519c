// InputMethod: opens and closes the input method (IME) of one input widget
// through Qt's input-method facilities, in place of the Windows imm32 calls.
//
// What callers rely on:
//  - SetOpen(w, false) closes it: the widget takes keys directly (no
//    composition): Qt::WA_InputMethodEnabled is cleared, the hints
//    Qt::ImhPreferLatin | Qt::ImhLatinOnly are set, a pending composition is
//    reset and the virtual keyboard (if any) hidden. SetOpen(w, true) undoes
//    that and asks the platform to show the input panel.
//  - SetJapaneseConversion(w) opens it for Japanese text (the imm32
//    conversion mode 25 "native, full shape, roman" and sentence mode 8):
//    Qt has no conversion-mode call, so the widget is opened with the Latin
//    hints removed, and the requested modes are recorded on the widget as the
//    properties "imeConversionMode" (25) and "imeSentenceMode" (8).
//  - IsOpen(w) tells which of the two states the widget is in.
//  - The calls act on the widget given (null: nothing happens); when it has
//    the focus the platform input method is told at once
//    (QInputMethod::update), otherwise the widget's settings take effect when
//    it gets the focus.
#pragma once

class QWidget;

namespace InputMethod {

void SetOpen(QWidget* w, bool open);
void SetJapaneseConversion(QWidget* w);
bool IsOpen(const QWidget* w);

constexpr int ConversionModeJapanese = 25;  // native | full shape | roman
constexpr int SentenceModePhrasePredict = 8;

}  // namespace InputMethod
