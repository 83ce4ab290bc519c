#include "common/basIME.h"

#include "platform/InputMethod.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace basIME {

void SetImeOpen(QWidget* form, bool open) {
    if (!form) return;
    QWidget* window = form->window();
    QWidget* field = window->focusWidget();
    // The application's focus widget, when it lies in this window, is the
    // more current one (focusWidget() of a window lags during focus changes).
    QWidget* app = QApplication::focusWidget();
    if (app && app->window() == window) field = app;
    if (!field) return;
    if (open) {
        InputMethod::SetOpen(field, true);
        return;
    }
    InputMethod::SetOpen(field, true);
    // Pending window events run; typed keys wait so that none is taken by
    // the half-open state.
    QPointer<QWidget> guard(field);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (guard) InputMethod::SetOpen(guard, false);
}

}  // namespace basIME
