// ProgressDialog: a modeless window with a title, a message, a bar of
// Position out of Max and a cancel button. CancelRequested turns true when
// the user presses cancel (or closes the window) and stays so until the
// caller resets it; the caller lets pending events run to receive it.
#pragma once
#include <QString>
#include <memory>

class QProgressDialog;

class ProgressDialog {
public:
    ProgressDialog();
    ~ProgressDialog();
    void Title(const QString& t);
    QString Title() const { return title_; }
    void Message(const QString& m);
    QString Message() const { return message_; }
    void Max(long m);
    long Max() const { return max_; }
    void Position(long p);
    long Position() const { return pos_; }
    bool CancelRequested() const { return cancel_; }
    void CancelRequested(bool v) { cancel_ = v; }
    void Show();
    void Hide();
    bool Visible() const { return visible_; }

private:
    void ensure();
    std::unique_ptr<QProgressDialog> dlg_;
    QString title_, message_;
    long max_ = 100, pos_ = 0;
    bool cancel_ = false, visible_ = false;
};
