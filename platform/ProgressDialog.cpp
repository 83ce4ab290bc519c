#include "platform/ProgressDialog.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>

namespace {
// Steps of the bar: fine enough for a smooth bar whatever Max is.
constexpr int kBarSteps = 1000;
}  // namespace

ProgressDialog::ProgressDialog() = default;
ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::ensure() {
    if (dlg_) return;
    dlg_ = std::make_unique<QProgressDialog>();
    dlg_->setAutoClose(false);
    dlg_->setAutoReset(false);
    dlg_->setMinimumDuration(0);
    dlg_->setCancelButtonText(QString::fromUtf8("キャンセル"));
    dlg_->setWindowModality(Qt::ApplicationModal);
    QObject::connect(dlg_.get(), &QProgressDialog::canceled, [this] {
        cancel_ = true;
        // Keep showing until the caller hides it.
        if (visible_) dlg_->show();
    });
}

void ProgressDialog::Title(const QString& t) { title_ = t; if (dlg_) dlg_->setWindowTitle(t); }
void ProgressDialog::Message(const QString& m) { message_ = m; if (dlg_) dlg_->setLabelText(m); }

void ProgressDialog::Max(long m) {
    max_ = m;
    updateBar();
}

void ProgressDialog::Position(long p) {
    pos_ = p;
    updateBar();
}

void ProgressDialog::Detail(long done, long total) {
    detailDone_ = done;
    detailTotal_ = total;
    updateBar();
}

void ProgressDialog::Busy(bool on) {
    busy_ = on;
    updateBar();
}

void ProgressDialog::updateBar() {
    // The window takes the values when it is shown.
    if (!dlg_ || !visible_) return;
    if (busy_) {
        dlg_->setRange(0, 0);
        return;
    }
    const double done = detailTotal_ > 0 ? static_cast<double>(std::min(detailDone_, detailTotal_)) / detailTotal_
                        : max_ > 0       ? static_cast<double>(std::min(pos_, max_)) / max_
                                         : 0.0;
    dlg_->setRange(0, kBarSteps);
    const int value = static_cast<int>(done * kBarSteps);
    // Setting the value of the modal window also lets it paint.
    if (dlg_->value() != value) dlg_->setValue(value);
}

void ProgressDialog::Show() {
    ensure();
    dlg_->setWindowTitle(title_);
    dlg_->setLabelText(message_);
    detailDone_ = detailTotal_ = 0;
    busy_ = false;
    visible_ = true;
    dlg_->show();
    updateBar();
    // Paint now: the caller goes on working before it lets events run.
    QCoreApplication::processEvents();
}

void ProgressDialog::Hide() {
    visible_ = false;
    busy_ = false;
    if (dlg_) dlg_->hide();
}

bool ProgressDialog::Poll() {
    if (visible_) QCoreApplication::processEvents();
    return cancel_;
}
