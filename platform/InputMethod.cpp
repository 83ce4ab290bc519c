#include "platform/InputMethod.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QWidget>

namespace InputMethod {

namespace {
constexpr Qt::InputMethodHints kLatin = Qt::ImhPreferLatin | Qt::ImhLatinOnly;

void tellPlatform(QWidget* w, bool open) {
    if (!w->hasFocus()) return;
    QInputMethod* im = QGuiApplication::inputMethod();
    if (!im) return;
    if (!open) im->reset();  // drop a composition in progress
    im->update(Qt::ImEnabled | Qt::ImHints);
    if (open) im->show();
    else im->hide();
}
}  // namespace

void SetOpen(QWidget* w, bool open) {
    if (!w) return;
    Qt::InputMethodHints hints = w->inputMethodHints();
    if (open) {
        w->setInputMethodHints(hints & ~kLatin);
        w->setAttribute(Qt::WA_InputMethodEnabled, true);
    } else {
        w->setInputMethodHints(hints | kLatin);
        w->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    tellPlatform(w, open);
}

void SetJapaneseConversion(QWidget* w) {
    if (!w) return;
    w->setProperty("imeConversionMode", ConversionModeJapanese);
    w->setProperty("imeSentenceMode", SentenceModePhrasePredict);
    SetOpen(w, true);
}

bool IsOpen(const QWidget* w) {
    if (!w) return false;
    return w->testAttribute(Qt::WA_InputMethodEnabled) && !(w->inputMethodHints() & Qt::ImhLatinOnly);
}

}  // namespace InputMethod
