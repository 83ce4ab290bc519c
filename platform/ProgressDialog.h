// ProgressDialog: a window with a title, a message, a bar of Position out of
// Max and a cancel button, modal to the application while it is shown.
// CancelRequested turns true when the user presses cancel (or closes the
// window with its ×) and stays so until the caller resets it; the caller
// lets pending events run to receive it (Poll does that).
//
// Show paints the window at once. Detail gives finer progress than Position
// (for example lines done out of all lines): once given, the bar shows it
// instead of Position out of Max, until the next Show. Busy shows a step whose length is not known (the bar runs
// without an end) until it is turned off; Position and Max keep their values.
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

    void Detail(long done, long total);
    void Busy(bool on);
    bool IsBusy() const { return busy_; }
    // Lets the window paint and take the user's input; returns CancelRequested().
    bool Poll();

private:
    void ensure();
    void updateBar();
    std::unique_ptr<QProgressDialog> dlg_;
    QString title_, message_;
    long max_ = 100, pos_ = 0;
    long detailDone_ = 0, detailTotal_ = 0;
    bool cancel_ = false, visible_ = false, busy_ = false;
};
