// Masters the voucher tests stand on: one branch (1) with groups 1 and 2,
// fiscal year 2026 (April 2026 to March 2027, month-end closing), accounts,
// tax codes, designated tax accounts, users; and helpers to store vouchers.
#pragma once
#include "TestSupport.h"

// Account codes of the test chart.
enum : long {
    kCash = 100,       // 現金, debit normal
    kBank = 110,       // 普通預金, debit normal, sub-account 1 required
    kReceivable = 130, // 売掛金, debit normal
    kInputTax = 150,   // 仮払消費税
    kPayable = 200,    // 買掛金, credit normal
    kOutputTax = 250,  // 仮受消費税
    kSales = 400,      // 売上高, credit normal, default tax code 3
    kPurchase = 500,   // 仕入高, debit normal, default tax code 1
    kSupplies = 630,   // 消耗品費, debit normal, default tax code 2 (included)
};

// Tax codes: 1 on top 10 %, 2 included 8 %, 3 on top 10 % (sales), 5 kind 7.
void InsertVoucherMasters(const AppFolder& folder);

// A stored voucher line: side 1 debit / 2 credit.
struct TestLine {
    int gyo;
    int side;
    long account;
    QString amount;
    QString tax = "0";
    long sub1 = 0;
    long sub2 = 0;
    long taxCode = 0;
    QString text = QString();
};
// Inserts a voucher header and its lines directly (no balances).
void InsertVoucher(const AppFolder& folder, long ym, long number, long date, const QList<TestLine>& lines,
                   const QString& description = QString(), int kbn = 0, int delkbn = 0);
