#include "common/basStdComm.h"

#include <algorithm>

#include "platform/VbCompat.h"
#include "database/Schema.h"
#include "platform/AppInfo.h"
#include "platform/MsgBox.h"

#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QWidget>

namespace basStdComm {

AutoNew<DBAccess> gobjDB;
AutoNew<IniFile> gobjIni;
AutoNew<ProgressDialog> gobjProgress;
long glngUserId = 0;
long glngSskCd = 0;
long glngGrpCd = 0;
long glngUserType = 0;
QString gstrSQL;
QString gstrAppPath;
QString gstrReportPath;

bool fncStartUp() {
    SetAppPath();
    ReadSystemIni();
    if (!fncCheckStart()) return false;
    if (!fncConnectDB()) return false;
    if (!fncCheckSystemIni()) {
        gobjDB->Disconnect();
        gobjDB->ClearError();
        return false;
    }
    return true;
}

void SetAppPath() {
    gstrAppPath = AppInfo::Folder();
    if (!gstrAppPath.endsWith('/')) gstrAppPath += '/';
    gstrReportPath = gstrAppPath + "Report/";
}

void ReadSystemIni() {
    gobjIni->FileName(gstrAppPath + "system.ini");
    // A missing settings file would leave user, branch and group 0 and the
    // program working on nobody's books: stop with a clear message instead.
    if (!gobjIni->Readable())
        throw AppError(errStartUp, "設定ファイルを読み込めません。" + gobjIni->FileName(), "ReadSystemIni");
    glngUserId = ValLng(gobjIni->GetValue("CLIENT", "CURRENTUSER"));
    glngSskCd = ValLng(gobjIni->GetValue("CLIENT", "CURRENTSSK"));
    glngGrpCd = ValLng(gobjIni->GetValue("CLIENT", "CURRENTGRP"));
    glngUserType = ValLng(gobjIni->GetValue("CLIENT", "CURRENTTYPE"));
}

bool fncCheckStart() {
    if (AppInfo::PrevInstance()) {
        MsgBox(AppInfo::Title() + " は既に起動されています", vbExclamation, AppInfo::Title());
        return false;
    }
    if (!AppInfo::CommandLine().endsWith("/S")) {
        MsgBox("メニューからでないと起動できません", vbExclamation, AppInfo::Title());
        return false;
    }
    return true;
}

namespace {
// The value of a key as the clerk wrote it, fit to be quoted in a message.
QString iniValueForMessage(const QString& key) {
    QString v = gobjIni->GetValue("CLIENT", key);
    QString shown;
    for (QChar c : v)
        if (c.isPrint()) shown += c;
    if (shown.size() > 20) shown = shown.left(20) + "…";
    return shown;
}

bool refuseIni(const QString& key, const QString& what) {
    gobjIni->FileName(gstrAppPath + "system.ini");
    MsgBox("system.ini の " + key + " (" + iniValueForMessage(key) + ") は" + what +
               "\nsystem.ini を確認して下さい。",
           vbExclamation, AppInfo::Title());
    return false;
}

bool masterHas(const QString& table, const QString& condition) {
    RecordsetPtr rs = gobjDB->OpenRecordset("SELECT COUNT(*) FROM " + table + " WHERE " + condition);
    return !rs->Eof() && rs->Fields(0).Value().Text().toLongLong() > 0;
}

// A database without any master yet (a new, empty book): not the settings
// are at fault, the masters are still to be entered.
bool refuseEmptyBook(const QString& file) {
    MsgBox("データベース " + file + " は新しい空のデータベースです。\n"
           "プログラムを使う前に、マスタ（事業所 SSKMF・部門 GRPMF・利用者 USGMF・会計期間 KSKMF・"
           "勘定科目 KMKMF・税区分 ZEIMF など）を登録して下さい。",
           vbExclamation, AppInfo::Title());
    return false;
}
}  // namespace

bool fncCheckSystemIni() {
    if (!masterHas("USGMF", "1 = 1") && !masterHas("SSKMF", "1 = 1") && !masterHas("GRPMF", "1 = 1"))
        return refuseEmptyBook(gobjDB->DatabaseFile());
    if (!masterHas("USGMF", "USG_ID = " + QString::number(glngUserId)))
        return refuseIni("CURRENTUSER", "利用者マスタに登録されていません。");
    if (!masterHas("SSKMF", "SSK_CD = " + QString::number(glngSskCd)))
        return refuseIni("CURRENTSSK", "事業所マスタに登録されていません。");
    if (!masterHas("GRPMF", "GRP_SSKCD = " + QString::number(glngSskCd) + " AND GRP_CD = " +
                                QString::number(glngGrpCd)))
        return refuseIni("CURRENTGRP", "事業所 " + QString::number(glngSskCd) + " の部門マスタに登録されていません。");
    return true;
}

bool fncConnectDB() {
    if (!gobjDB->Connect()) {
        // An empty file a program that only reads was not to make a book of.
        if (gobjDB->EmptyFileRefused()) {
            refuseEmptyBook(gobjDB->DatabaseFile());
            gobjDB->ClearError();
        }
        return false;
    }
    // Damaged pages: one message, then the program ends. What was not
    // committed is not in the database (as after a power loss).
    gobjDB->SetDamagedHandler([] {
        MsgBox("データベースが壊れているため、処理を続けられません。プログラムを終了します。\n"
               "システム管理者に連絡し、バックアップからデータベースを復元して下さい。",
               vbCritical, AppInfo::Title());
        EndProgramNow();
    });
    // A new, empty database gets the tables; the stored procedures are
    // registered on every connection.
    if (!Schema::Prepare(*gobjDB)) {
        long n = gobjDB->ErrorNumber();
        QString t = gobjDB->ErrorText();
        gobjDB->Disconnect();
        gobjDB->SetError(n ? n : adErrCommand, t);
        return false;
    }
    return true;
}

void EndProgramNow() {
    if (!gobjDB.IsNothing()) gobjDB->Disconnect();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

void EndSystem() {
    if (!gobjDB.IsNothing()) gobjDB->Disconnect();
    gobjDB.Release();
    gobjIni.Release();
    gobjProgress.Release();
}

QString fncLookupField(const QString& field, const QString& table, const QString& condition) {
    try {
        RecordsetPtr rs = gobjDB->OpenRecordset("SELECT " + field + " FROM " + table + " WHERE " + condition);
        if (rs->Eof()) return QString();
        DbValue v = rs->Fields(0).Value();
        return v.IsNull() ? QString() : v.Text();
    } catch (...) {
        return QString();
    }
}

QString ErrNumberText(long number) {
    // Error numbers are 32-bit Longs: &H80004005 reads -2147467259.
    return QString::number(static_cast<qint32>(static_cast<quint32>(number)));
}

QString fncSqlQuote(const QString& value) {
    QString v = StorableText(value);
    v.replace("'", "''");
    return "'" + v + "'";
}

void ShowErrMsg(const AppError& e) {
    if (e.Number == errReportTemplateMissing) {
        MsgBox("帳票を作成するために必要なExcelファイルがありません。", vbCritical);
        return;
    }
    if (e.Number == 0) {
        ShowDBError();
        return;
    }
    if (!gobjDB.IsNothing() && gobjDB->DiskFull()) {
        // Nothing was written: the clerk frees space and saves again.
        MsgBox(gobjDB->ErrorText(), vbExclamation, AppInfo::Title());
        return;
    }
    QString text = "ｴﾗｰ番号 :" + ErrNumberText(e.Number) + "\n" + e.Description;
    if (!gobjDB.IsNothing() && gobjDB->ErrorNumber() != 0) {
        if (gobjDB->ErrorNumber() == errLostConnection)
            text = "データベースの接続でエラーが発生しました。\n\n１度システムを終了し再度実行して下さい。";
        else
            text += "\n\nADOｴﾗｰ番号 :" + ErrNumberText(gobjDB->AdoErrorNumber()) + "\n" +
                    gobjDB->AdoErrorDescription();
    }
    MsgBox(text, vbOKOnly, AppInfo::Title());
}

void ShowErrMsg() {
    // No raised error (a failed connection): the connection's own error,
    // which says why (file missing, not a database of this system, ...).
    ShowDBError();
}

void ShowDBError() {
    if (gobjDB.IsNothing() || gobjDB->ErrorNumber() == 0) return;
    MsgBox("ｴﾗｰ番号 :" + ErrNumberText(gobjDB->ErrorNumber()) + "\n" + gobjDB->ErrorText(), vbOKOnly,
           AppInfo::Title());
}

void CenterForm(QWidget* form) {
    QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect r = screen->availableGeometry();
        // A window larger than the screen is made to fit it (as far as its
        // contents allow), so that nothing of it lies off the screen.
        QSize frame = form->frameGeometry().size() - form->size();
        if (frame.width() < 0 || frame.height() < 0) frame = QSize(0, 0);
        const QSize fit = form->size().boundedTo(r.size() - frame).expandedTo(form->minimumSizeHint());
        if (fit != form->size()) form->resize(fit);
        const QSize s = form->size() + frame;
        form->move(r.x() + std::max(0, (r.width() - s.width()) / 2), r.y() + std::max(0, (r.height() - s.height()) / 2));
    }
    QString icon = gstrAppPath + "ICON.ICO";
    if (QFileInfo::exists(icon)) form->setWindowIcon(QIcon(icon));
}

}  // namespace basStdComm
