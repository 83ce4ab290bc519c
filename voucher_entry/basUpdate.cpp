#include "voucher_entry/basUpdate.h"

#include "common/basStdComm.h"
#include "platform/Currency.h"
#include "platform/MsgBox.h"
#include "platform/VbCompat.h"

using namespace basStdComm;

namespace basUpdate {

namespace {

const QString kTitle = QStringLiteral("残高更新");

QString num(long n) { return QString::number(n); }

// Runs a statement or procedure call; on failure shows the database's error
// text and returns false.
bool executeOrReport(const QString& strSQL) {
    if (gobjDB->Execute(strSQL)) return true;
    MsgBox(gobjDB->ErrorText(), vbExclamation, kTitle);
    return false;
}

// True when the statement returns a row.
bool rowExists(const QString& strSQL) {
    RecordsetPtr rs = gobjDB->OpenRecordset(strSQL);
    return !rs->Eof();
}

// " KMZ_KARI = KMZ_KARI + 1000" for the sign and side; empty for any other
// sign or side, which leaves the UPDATE without an assignment: the database
// refuses it and the posting ends as a failed statement.
QString assignment(const QString& strPrefix, const QString& strSign, long lngTsKbn, const QString& strKin) {
    QString strCol;
    if (lngTsKbn == 1) strCol = strPrefix + "_KARI";
    else if (lngTsKbn == 2) strCol = strPrefix + "_KASI";
    if (strCol.isEmpty() || (strSign != "+" && strSign != "-")) return QString();
    return " " + strCol + " = " + strCol + " " + strSign + " " + strKin;
}

}  // namespace

bool fncEnsureKmzmfRow(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd) {
    try {
        gstrSQL = "SELECT KMZ_YM FROM KMZMF "
                  " WHERE KMZ_YM = " + num(lngYm) +
                  "   AND KMZ_SSKCD = " + num(lngSskCd) +
                  "   AND KMZ_GRPCD = " + num(lngGrpCd) +
                  "   AND KMZ_KMKCD = " + num(lngKmkCd);
        if (rowExists(gstrSQL)) return true;
        return executeOrReport("sp_KMZMF_ADD " + num(lngNendo) + ", " + num(lngSskCd) + ", " + num(lngGrpCd) +
                               ", " + num(lngKmkCd));
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool fncEnsureH1zmfRow(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd) {
    try {
        gstrSQL = "SELECT H1Z_YM FROM H1ZMF "
                  " WHERE H1Z_YM = " + num(lngYm) +
                  "   AND H1Z_SSKCD = " + num(lngSskCd) +
                  "   AND H1Z_GRPCD = " + num(lngGrpCd) +
                  "   AND H1Z_KMKCD = " + num(lngKmkCd) +
                  "   AND H1Z_HK1CD = " + num(lngHk1Cd);
        if (rowExists(gstrSQL)) return true;
        return executeOrReport("sp_H1ZMF_ADD " + num(lngNendo) + ", " + num(lngSskCd) + ", " + num(lngGrpCd) +
                               ", " + num(lngKmkCd) + ", " + num(lngHk1Cd));
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool fncEnsureH2zmfRow(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd,
                       long lngHk2Cd) {
    try {
        gstrSQL = "SELECT H2Z_YM FROM H2ZMF "
                  " WHERE H2Z_YM = " + num(lngYm) +
                  "   AND H2Z_SSKCD = " + num(lngSskCd) +
                  "   AND H2Z_GRPCD = " + num(lngGrpCd) +
                  "   AND H2Z_KMKCD = " + num(lngKmkCd) +
                  "   AND H2Z_HK1CD = " + num(lngHk1Cd) +
                  "   AND H2Z_HK2CD = " + num(lngHk2Cd);
        if (rowExists(gstrSQL)) return true;
        return executeOrReport("sp_H2ZMF_ADD " + num(lngNendo) + ", " + num(lngSskCd) + ", " + num(lngGrpCd) +
                               ", " + num(lngKmkCd) + ", " + num(lngHk1Cd) + ", " + num(lngHk2Cd));
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

bool fncRunKmzmfUpdate(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd) {
    return executeOrReport("sp_KMZMF_UPDATE " + num(lngYm) + ", " + num(lngNendo) + ", " + num(lngSskCd) + ", " +
                           num(lngGrpCd) + ", " + num(lngKmkCd));
}

bool fncRunH1zmfUpdate(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd) {
    return executeOrReport("sp_H1ZMF_UPDATE " + num(lngYm) + ", " + num(lngNendo) + ", " + num(lngSskCd) + ", " +
                           num(lngGrpCd) + ", " + num(lngKmkCd) + ", " + num(lngHk1Cd));
}

bool fncRunH2zmfUpdate(long lngNendo, long lngYm, long lngSskCd, long lngGrpCd, long lngKmkCd, long lngHk1Cd,
                       long lngHk2Cd) {
    return executeOrReport("sp_H2ZMF_UPDATE " + num(lngYm) + ", " + num(lngNendo) + ", " + num(lngSskCd) + ", " +
                           num(lngGrpCd) + ", " + num(lngKmkCd) + ", " + num(lngHk1Cd) + ", " + num(lngHk2Cd));
}

bool fncUpdateBalance(const QString& strSign, long lngSskCd, long lngGrpCd, long lngYm, long lngDenNo) {
    try {
        gstrSQL = "SELECT DNM_TSKBN, DNM_KMKCD, DNM_HK1CD, DNM_HK2CD, DNM_KIN, DNH_NENDO"
                  " FROM V_DENDT"
                  " WHERE DNH_SSKCD = " + num(lngSskCd) +
                  "   AND DNH_GRPCD = " + num(lngGrpCd) +
                  "   AND DNH_YM = " + num(lngYm) +
                  "   AND DNH_DENNO = " + num(lngDenNo) +
                  " ORDER BY DNM_GYO, DNM_TSKBN";
        RecordsetPtr rsLines = gobjDB->OpenRecordset(gstrSQL);
        while (!rsLines->Eof()) {
            long lngTsKbn = ValLng(rsLines->Fields("DNM_TSKBN").Value());
            long lngKmkCd = ValLng(rsLines->Fields("DNM_KMKCD").Value());
            long lngHk1Cd = ValLng(rsLines->Fields("DNM_HK1CD").Value());
            long lngHk2Cd = ValLng(rsLines->Fields("DNM_HK2CD").Value());
            long lngNendo = ValLng(rsLines->Fields("DNH_NENDO").Value());
            // The amount travels as its exact decimal text.
            QString strKin = ValCur(rsLines->Fields("DNM_KIN").Value()).ToString();

            // Account
            if (!fncEnsureKmzmfRow(lngNendo, lngYm, lngSskCd, lngGrpCd, lngKmkCd)) return false;
            if (!executeOrReport("UPDATE KMZMF SET " + assignment("KMZ", strSign, lngTsKbn, strKin) +
                                 " WHERE KMZ_YM = " + num(lngYm) +
                                 "   AND KMZ_SSKCD = " + num(lngSskCd) +
                                 "   AND KMZ_GRPCD = " + num(lngGrpCd) +
                                 "   AND KMZ_KMKCD = " + num(lngKmkCd)))
                return false;
            if (!fncRunKmzmfUpdate(lngNendo, lngYm, lngSskCd, lngGrpCd, lngKmkCd)) return false;

            // Sub-account 1, code 0 included
            if (!fncEnsureH1zmfRow(lngNendo, lngYm, lngSskCd, lngGrpCd, lngKmkCd, lngHk1Cd)) return false;
            if (!executeOrReport("UPDATE H1ZMF SET " + assignment("H1Z", strSign, lngTsKbn, strKin) +
                                 " WHERE H1Z_YM = " + num(lngYm) +
                                 "   AND H1Z_SSKCD = " + num(lngSskCd) +
                                 "   AND H1Z_GRPCD = " + num(lngGrpCd) +
                                 "   AND H1Z_KMKCD = " + num(lngKmkCd) +
                                 "   AND H1Z_HK1CD = " + num(lngHk1Cd)))
                return false;
            if (!fncRunH1zmfUpdate(lngNendo, lngYm, lngSskCd, lngGrpCd, lngKmkCd, lngHk1Cd)) return false;

            // Sub-account 2 only below a sub-account 1; code 0 is a row of its own
            if (lngHk1Cd != 0) {
                if (!fncEnsureH2zmfRow(lngNendo, lngYm, lngSskCd, lngGrpCd, lngKmkCd, lngHk1Cd, lngHk2Cd))
                    return false;
                if (!executeOrReport("UPDATE H2ZMF SET " + assignment("H2Z", strSign, lngTsKbn, strKin) +
                                     " WHERE H2Z_YM = " + num(lngYm) +
                                     "   AND H2Z_SSKCD = " + num(lngSskCd) +
                                     "   AND H2Z_GRPCD = " + num(lngGrpCd) +
                                     "   AND H2Z_KMKCD = " + num(lngKmkCd) +
                                     "   AND H2Z_HK1CD = " + num(lngHk1Cd) +
                                     "   AND H2Z_HK2CD = " + num(lngHk2Cd)))
                    return false;
                if (!fncRunH2zmfUpdate(lngNendo, lngYm, lngSskCd, lngGrpCd, lngKmkCd, lngHk1Cd, lngHk2Cd))
                    return false;
            }
            rsLines->MoveNext();
        }
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

}  // namespace basUpdate
