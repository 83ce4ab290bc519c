// Start-up, shut-down, process-wide state and the common error report,
// shared by every program.
#pragma once
#include "common/AutoNew.h"
#include "platform/AppError.h"
#include "platform/DBAccess.h"
#include "platform/IniFile.h"
#include "platform/ProgressDialog.h"

#include <QString>

class QWidget;

namespace basStdComm {

extern AutoNew<DBAccess> gobjDB;
extern AutoNew<IniFile> gobjIni;
extern AutoNew<ProgressDialog> gobjProgress;
extern long glngUserId;
extern long glngSskCd;
extern long glngGrpCd;
extern long glngUserType;
extern QString gstrSQL;
extern QString gstrAppPath;     // always ends in "/"
extern QString gstrReportPath;  // gstrAppPath + "Report/"

// Error numbers with a meaning of their own.
constexpr long errReportTemplateMissing = static_cast<long>(0xA0000001u);
constexpr long errLostConnection = adErrConnection;
constexpr long errStartUp = vbObjectError + 1001;

bool fncStartUp();
void SetAppPath();
void ReadSystemIni();
bool fncCheckStart();
bool fncConnectDB();
// User, branch and group of system.ini must be in the masters (USGMF, SSKMF,
// GRPMF of that branch); otherwise a message naming the key, and False.
bool fncCheckSystemIni();
void EndSystem();
// Ends the process at once (a damaged database): the connection is closed
// with any open transaction rolled back; no window gets to save.
[[noreturn]] void EndProgramNow();
// First column of the first row of "SELECT field FROM table WHERE condition";
// empty text when there is none, when it is Null, or on any error (silent).
QString fncLookupField(const QString& field, const QString& table, const QString& condition);
// The text as an SQL literal, "'" doubled.
QString fncSqlQuote(const QString& value);
inline QString fncSqlQuote(const DbValue& value) { return fncSqlQuote(value.Text()); }
// The common error report of a raised error.
void ShowErrMsg(const AppError& e);
// The common error report with no raised error: the database's last error.
void ShowErrMsg();
void ShowDBError();
// An error number as the message boxes show it: a signed 32-bit Long.
QString ErrNumberText(long number);
void CenterForm(QWidget* form);

}  // namespace basStdComm
