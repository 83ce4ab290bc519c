#include "voucher_entry/basUpdate.h"

#include <algorithm>
#include <vector>

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
        // The lines are added up per balance row and side first: a row is
        // then created, changed and its later openings brought up to date
        // once, whatever the number of lines that post to it. The totals are
        // exact, so the rows end as they would line by line.
        struct Posting {
            int level;  // 0 account, 1 sub-account 1, 2 sub-account 2
            long kmk, hk1, hk2;
            std::vector<std::pair<long, Currency>> sides;  // side, total; in the order met
        };
        std::vector<Posting> postings;
        auto post = [&](int level, long kmk, long hk1, long hk2, long side, Currency kin) {
            auto p = std::find_if(postings.begin(), postings.end(), [&](const Posting& x) {
                return x.level == level && x.kmk == kmk && x.hk1 == hk1 && x.hk2 == hk2;
            });
            if (p == postings.end()) p = postings.insert(postings.end(), Posting{level, kmk, hk1, hk2, {}});
            auto s = std::find_if(p->sides.begin(), p->sides.end(), [&](const auto& x) { return x.first == side; });
            if (s == p->sides.end()) p->sides.emplace_back(side, kin);
            else s->second += kin;
        };
        long lngNendo = 0;
        for (; !rsLines->Eof(); rsLines->MoveNext()) {
            long lngTsKbn = ValLng(rsLines->Fields("DNM_TSKBN").Value());
            long lngKmkCd = ValLng(rsLines->Fields("DNM_KMKCD").Value());
            long lngHk1Cd = ValLng(rsLines->Fields("DNM_HK1CD").Value());
            long lngHk2Cd = ValLng(rsLines->Fields("DNM_HK2CD").Value());
            lngNendo = ValLng(rsLines->Fields("DNH_NENDO").Value());
            Currency kin = ValCur(rsLines->Fields("DNM_KIN").Value());
            post(0, lngKmkCd, 0, 0, lngTsKbn, kin);
            // Sub-account 1, code 0 included
            post(1, lngKmkCd, lngHk1Cd, 0, lngTsKbn, kin);
            // Sub-account 2 only below a sub-account 1; code 0 is a row of its own
            if (lngHk1Cd != 0) post(2, lngKmkCd, lngHk1Cd, lngHk2Cd, lngTsKbn, kin);
        }
        for (const Posting& p : postings) {
            QString strTable, strPrefix;
            bool ok = false;
            if (p.level == 0) {
                strTable = "KMZMF", strPrefix = "KMZ";
                ok = fncEnsureKmzmfRow(lngNendo, lngYm, lngSskCd, lngGrpCd, p.kmk);
            } else if (p.level == 1) {
                strTable = "H1ZMF", strPrefix = "H1Z";
                ok = fncEnsureH1zmfRow(lngNendo, lngYm, lngSskCd, lngGrpCd, p.kmk, p.hk1);
            } else {
                strTable = "H2ZMF", strPrefix = "H2Z";
                ok = fncEnsureH2zmfRow(lngNendo, lngYm, lngSskCd, lngGrpCd, p.kmk, p.hk1, p.hk2);
            }
            if (!ok) return false;
            QString strKey = " WHERE " + strPrefix + "_YM = " + num(lngYm) +
                             "   AND " + strPrefix + "_SSKCD = " + num(lngSskCd) +
                             "   AND " + strPrefix + "_GRPCD = " + num(lngGrpCd) +
                             "   AND " + strPrefix + "_KMKCD = " + num(p.kmk);
            if (p.level >= 1) strKey += "   AND " + strPrefix + "_HK1CD = " + num(p.hk1);
            if (p.level == 2) strKey += "   AND " + strPrefix + "_HK2CD = " + num(p.hk2);
            for (const auto& [lngTsKbn, kin] : p.sides)
                if (!executeOrReport("UPDATE " + strTable + " SET " +
                                     assignment(strPrefix, strSign, lngTsKbn, kin.ToString()) + strKey))
                    return false;
            if (p.level == 0) ok = fncRunKmzmfUpdate(lngNendo, lngYm, lngSskCd, lngGrpCd, p.kmk);
            else if (p.level == 1) ok = fncRunH1zmfUpdate(lngNendo, lngYm, lngSskCd, lngGrpCd, p.kmk, p.hk1);
            else ok = fncRunH2zmfUpdate(lngNendo, lngYm, lngSskCd, lngGrpCd, p.kmk, p.hk1, p.hk2);
            if (!ok) return false;
        }
        return true;
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
}

}  // namespace basUpdate
