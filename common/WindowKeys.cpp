#include "common/WindowKeys.h"

#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace WindowKeys {

namespace {

class EscapeFilter : public QObject {
public:
    explicit EscapeFilter(QDialog* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape && !key->matches(QKeySequence::Cancel)) return false;
        key->accept();
        return true;
    }

private:
    QDialog* window_;
};

}  // namespace

void IgnoreEscape(QDialog* window) { window->installEventFilter(new EscapeFilter(window)); }

void TakeFieldInProgress(QWidget* button) {
    if (!button->hasFocus()) button->setFocus(Qt::ShortcutFocusReason);
}

}  // namespace WindowKeys
