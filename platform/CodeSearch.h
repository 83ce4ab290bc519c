// CodeSearch: the code search window. It lists the rows of one master,
// valid for the parameters given, and lets the user choose one.
//
// What callers rely on:
//  - ConnectionString("File Name=<path of the data-link file>") names the
//    database; UseConnection(db) may hand it an open connection instead
//    (used as long as it is connected).
//  - ShowSearch(kind, params) shows the window modally and returns when it
//    closes; Chosen() is then true when a row was chosen, and Item(0 .. 19)
//    gives its values (an empty QVariant past the last one). A kind that is
//    not listed below, a database that cannot be read or a failing query
//    show no window and leave Chosen() false (LastError() says why).
//  - Parameters (params[0] is parameter 1) may be numbers or their decimal
//    text; an empty one reads as 0. Codes come back as numbers (qlonglong),
//    names as text (an empty text for Null).
//
// Kinds, the rows they list (sorted by the sort column, then the code) and
// the items of a row (those marked * are the window's columns):
//  "KMK" accounts (KMKMF), title "科目検索"; parameters: 1 fiscal year,
//        2 group kind GRP_KBN, 3 branch, 4 group. Rows of that fiscal year
//        the group may use: KMK_GRKBN 1 only for group kind 0, KMK_GRKBN 2
//        only for group kind 1 and the owning branch and group
//        (KMK_SSKCD, KMK_GRPCD), any other KMK_GRKBN always.
//        Items: 0 KMK_CD*, 1 KMK_RNAME*, 2 KMK_NM*, 3 KMK_TSKBN, 4 KMK_ZKBN,
//        5 KMK_H1FLG, 6 KMK_GRKBN. Order KMK_SORT, KMK_CD.
//  "HK1" sub-accounts 1 (HK1MF), "補助科目１検索"; 1 fiscal year, 2 account
//        code, 3 account name (shown above the list). Rows of that year and
//        account. Items: 0 HK1_CD*, 1 HK1_RNAME*, 2 HK1_NM*, 3 HK1_H2FLG.
//        Order HK1_SORT, HK1_CD.
//  "HK2" sub-accounts 2 (HK2MF), "補助科目２検索"; 1 fiscal year, 2 account
//        code, 3 account name, 4 sub-account 1 code, 5 its name, 6 branch,
//        7 group. Rows of that year, account, sub-account 1, branch and
//        group. Items: 0 HK2_CD*, 1 HK2_RNAME*, 2 HK2_NM*. Order HK2_SORT,
//        HK2_CD.
//  "ZEI" tax codes (ZEIMF), "税区分検索"; no parameters. One row per code:
//        the row valid today, else the one that starts last. Items: 0 ZEI_CD*,
//        1 ZEI_NAME*, 2 ZEI_KBN, 3 ZEI_RITU* (text, e.g. "0.1"),
//        4 ZEI_DATEST, 5 ZEI_DATEEND. Order ZEI_CD.
//  "TRI" business partners (TRIMF), "取引先検索"; 1 branch. Items:
//        0 TRI_CD*, 1 TRI_NAME*, 2 TRI_KANA*. Order TRI_CD.
//  "TEK" standard descriptions (TEKMF), "摘要検索"; 1 branch. Items:
//        0 TEK_CD*, 1 TEK_NAME* (the description text). Order TEK_SORT, TEK_CD.
//  "TAN" persons (USGMF), "担当者検索"; 1 branch, 2 group (the user master
//        has no branch or group, so every user is listed). Items: 0 USG_ID*,
//        1 USG_NAME*, 2 USG_NAME (the person's name). Order USG_ID.
//
// The window: a filter box above the list narrows it as one types (a row
// stays when its code begins with the text, or one of its text columns
// contains it, ignoring case and full/half width). Up/Down/PageUp/PageDown
// in the filter box move in the list, Enter or a double-click chooses the
// current row, Esc or the cancel button closes without a choice. The
// columns fit the width of the list (a text too long for its column is cut
// with an ellipsis and shown whole in its tooltip). Object names:
// "txtFilter", "lstResult", "cmdOK", "cmdCancel".
//
// Tests: SetCodeSearchHandler(h) replaces the window: ShowSearch builds the
// request (kind, parameters, title, columns, rows it would list) and h
// returns the chosen row index, or CodeSearch::Cancel (any index outside
// the rows cancels too). An empty handler restores the window.
#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

class DBAccess;

struct CodeSearchRequest {
    QString kind;
    QVariantList params;                 // the ten parameters as passed
    QString title;                       // window title, e.g. "科目検索"
    QString heading;                     // text above the list ("" for none)
    QStringList columns;                 // headers of the shown columns
    QList<int> shownItems;               // item index of each shown column
    std::vector<QVariantList> rows;      // the items of each listed row
};

using CodeSearchHandler = std::function<int(const CodeSearchRequest& request)>;
void SetCodeSearchHandler(CodeSearchHandler handler);

class CodeSearch {
public:
    static constexpr int Cancel = -1;
    static constexpr int ItemCount = 20;

    CodeSearch();
    ~CodeSearch();
    CodeSearch(const CodeSearch&) = delete;
    CodeSearch& operator=(const CodeSearch&) = delete;

    void ConnectionString(const QString& text) { connection_ = text; }
    QString ConnectionString() const { return connection_; }
    void UseConnection(DBAccess* db) { shared_ = db; }

    void ShowSearch(const QString& kind, const QVariantList& params);
    bool Chosen() const { return chosen_; }
    QVariant Item(int index) const;
    QString LastError() const { return error_; }

    // The request the window would show (rows read from the database);
    // false with LastError() for an unknown kind or a database error.
    bool BuildRequest(const QString& kind, const QVariantList& params, CodeSearchRequest& request);

private:
    DBAccess* database();
    QString connection_;
    DBAccess* shared_ = nullptr;
    std::unique_ptr<DBAccess> own_;
    bool chosen_ = false;
    QVariantList items_;
    QString error_;
};
