// VoucherOpener: opens one voucher in the program that edits vouchers and
// waits until the user has finished with it.
//
// What callers rely on:
//  - ProgramName(name) names that program, an executable in the application
//    folder (AppInfo::Folder()); it has no default.
//  - ShowVoucher(mode, date, number) starts it with the command line
//    "<mode> yyyy/mm/dd <number> /S" (the date number yyyymmdd written as a
//    date; a number that names no date is passed as its digits) and returns
//    once that program has ended. Meanwhile the caller's windows keep
//    painting and its timers keep running, but keys, mouse clicks and
//    requests to close a window are dropped, as under a modal window.
//  - ShowVoucher returns false, with LastError(), when the program cannot
//    be started (no program name, no such file, start refused); true when
//    it ran, whatever its exit code.
//  - SetVoucherOpenerHandler(h) (tests): ShowVoucher calls h with the three
//    values instead of starting a program, and returns true. An empty
//    handler restores the real behaviour.
#pragma once
#include <QString>
#include <QStringList>
#include <functional>

using VoucherOpenerHandler = std::function<void(const QString& mode, long date, long number)>;
void SetVoucherOpenerHandler(VoucherOpenerHandler handler);

class VoucherOpener {
public:
    VoucherOpener() = default;
    VoucherOpener(const VoucherOpener&) = delete;
    VoucherOpener& operator=(const VoucherOpener&) = delete;

    QString ProgramName() const { return program_; }
    void ProgramName(const QString& name) { program_ = name; }

    bool ShowVoucher(const QString& mode, long date, long number);
    QString LastError() const { return error_; }

    // The program's arguments for the three values ("U", "2026/12/08", "15", "/S").
    static QStringList Arguments(const QString& mode, long date, long number);
    // Full path of the program in the application folder ("" without a name).
    QString ProgramPath() const;

private:
    QString program_;
    QString error_;
};
