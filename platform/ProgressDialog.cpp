#include "platform/ProgressDialog.h"

#include <QProgressDialog>

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
void ProgressDialog::Max(long m) { max_ = m; if (dlg_) dlg_->setMaximum(static_cast<int>(m)); }
void ProgressDialog::Position(long p) { pos_ = p; if (dlg_) dlg_->setValue(static_cast<int>(p < max_ ? p : max_)); }

void ProgressDialog::Show() {
    ensure();
    dlg_->setWindowTitle(title_);
    dlg_->setLabelText(message_);
    dlg_->setMaximum(static_cast<int>(max_));
    dlg_->setValue(static_cast<int>(pos_));
    visible_ = true;
    dlg_->show();
}

void ProgressDialog::Hide() {
    visible_ = false;
    if (dlg_) dlg_->hide();
}
