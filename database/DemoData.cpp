// The demo database of 株式会社さくら商事: one branch (本社) with two
// groups, a fiscal calendar April to March around the given day, a chart of
// accounts with sub-accounts, tax codes, users and permissions, holidays,
// standard descriptions, two voucher templates and the opening balances of
// the current fiscal year. No vouchers: those come from the voucher entry.
//
// Everything is derived from the given day only, so two fills with the same
// day give the same rows.
#include "database/DemoData.h"

#include "database/Schema.h"

#include <QMap>
#include <QStringList>
#include <map>
#include <tuple>
#include <vector>

namespace DemoData {

namespace {

constexpr int kBranch = 1;
constexpr int kGroupSoumu = 1;
constexpr int kGroupEigyo = 2;

// ---------------------------------------------------------------- chart of accounts

struct AccountDef {
    int cd;
    const char* name;
    const char* shortName;
    int side;     // KMK_TSKBN: 1 debit-normal, 2 credit-normal
    int taxCode;  // KMK_ZKBN: default tax code of a line on the account
    int bunrui;   // 1 assets, 2 liabilities and equity, 3 revenue, 4 purchases, 5 expenses
    int grkbn;    // KMK_GRKBN scope
    int ownerGroup;
};

// Tax codes used as defaults below (see kTaxCodes).
constexpr int kTaxPurchase = 1;
constexpr int kTaxSales = 3;
constexpr int kTaxExempt = 9;

const AccountDef kAccounts[] = {
    {100, "現金", "現金", 1, 0, 1, 0, 0},
    {110, "普通預金", "普通預金", 1, 0, 1, 0, 0},
    {120, "当座預金", "当座預金", 1, 0, 1, 0, 0},
    {130, "売掛金", "売掛金", 1, 0, 1, 0, 0},
    {140, "前払費用", "前払費用", 1, 0, 1, 0, 0},
    {150, "仮払消費税", "仮払消費税", 1, 0, 1, 0, 0},
    {170, "工具器具備品", "器具備品", 1, 0, 1, 0, 0},
    {200, "買掛金", "買掛金", 2, 0, 2, 0, 0},
    {210, "未払金", "未払金", 2, 0, 2, 0, 0},
    {220, "預り金", "預り金", 2, 0, 2, 0, 0},
    {230, "未払法人税等", "未払法人税", 2, 0, 2, 0, 0},
    {250, "仮受消費税", "仮受消費税", 2, 0, 2, 0, 0},
    {300, "資本金", "資本金", 2, 0, 2, 0, 0},
    {310, "繰越利益剰余金", "繰越利益", 2, 0, 2, 0, 0},
    {400, "売上高", "売上高", 2, kTaxSales, 3, 0, 0},
    {410, "受取利息", "受取利息", 2, kTaxExempt, 3, 0, 0},
    {500, "仕入高", "仕入高", 1, kTaxPurchase, 4, 0, 0},
    // Salaries lie outside consumption tax: no default tax code.
    {600, "給料手当", "給料手当", 1, 0, 5, 0, 0},
    {610, "旅費交通費", "旅費交通費", 1, kTaxPurchase, 5, 0, 0},
    {620, "通信費", "通信費", 1, kTaxPurchase, 5, 0, 0},
    {630, "消耗品費", "消耗品費", 1, kTaxPurchase, 5, 0, 0},
    {640, "水道光熱費", "水道光熱費", 1, kTaxPurchase, 5, 0, 0},
    {650, "地代家賃", "地代家賃", 1, kTaxPurchase, 5, 0, 0},
    {660, "支払手数料", "支払手数料", 1, kTaxPurchase, 5, 0, 0},
    {670, "会議費", "会議費", 1, kTaxPurchase, 5, 0, 0},
    // Advertising: ordinary groups (kind 0) only.
    {680, "広告宣伝費", "広告宣伝費", 1, kTaxPurchase, 5, 1, 0},
    // Sales promotion: kept by the sales department alone.
    {690, "販売促進費", "販売促進費", 1, kTaxPurchase, 5, 2, kGroupEigyo},
    {700, "租税公課", "租税公課", 1, 0, 5, 0, 0},
    {710, "保険料", "保険料", 1, kTaxExempt, 5, 0, 0},
    {720, "雑費", "雑費", 1, kTaxPurchase, 5, 0, 0},
};

const AccountDef* findAccount(int cd) {
    for (const AccountDef& a : kAccounts)
        if (a.cd == cd) return &a;
    return nullptr;
}

struct SubAccount1Def {
    int kmk;
    int cd;
    const char* name;
    const char* shortName;
    int needsSub2;  // HK1_H2FLG
};

const SubAccount1Def kSubAccounts1[] = {
    {110, 1, "みずほ銀行 本店", "みずほ本店", 0},
    {110, 2, "三井住友銀行 新宿支店", "三井住友新宿", 0},
    {130, 1, "株式会社青葉商会", "青葉商会", 0},
    {130, 2, "有限会社みどり工業", "みどり工業", 0},
    {130, 3, "東都システム株式会社", "東都システム", 0},
    {200, 1, "株式会社山中製作所", "山中製作所", 0},
    {200, 2, "北斗物産株式会社", "北斗物産", 0},
    {220, 1, "源泉所得税", "源泉所得税", 0},
    {220, 2, "住民税", "住民税", 0},
    {220, 3, "社会保険料", "社会保険料", 1},
};

bool hasSubAccounts(int kmk) {
    for (const SubAccount1Def& s : kSubAccounts1)
        if (s.kmk == kmk) return true;
    return false;
}

struct SubAccount2Def {
    int kmk;
    int hk1;
    int cd;
    const char* name;
    const char* shortName;
};

// Kept for both groups of the branch.
const SubAccount2Def kSubAccounts2[] = {
    {220, 3, 1, "健康保険料", "健康保険"},
    {220, 3, 2, "厚生年金保険料", "厚生年金"},
    {220, 3, 3, "雇用保険料", "雇用保険"},
};

// ---------------------------------------------------------------- tax codes

struct TaxCodeDef {
    int cd;
    int from;
    int to;
    int kind;
    const char* rate;
    const char* name;
};

// One row per code: the name shown beside a code is read without a date,
// and vouchers are printed joined to the code, so a code keeps one validity
// period; the rates before the 2019 change have codes of their own.
const TaxCodeDef kTaxCodes[] = {
    {1, 20191001, 99991231, 1, "0.10", "課税仕入10%"},
    {2, 20191001, 99991231, 2, "0.10", "課税仕入10%(内税)"},
    {3, 20191001, 99991231, 3, "0.10", "課税売上10%"},
    {4, 20191001, 99991231, 4, "0.10", "課税売上10%(内税)"},
    {5, 20191001, 99991231, 1, "0.08", "軽減仕入8%"},
    {6, 20191001, 99991231, 3, "0.08", "軽減売上8%"},
    {7, 20140401, 20190930, 1, "0.08", "旧課税仕入8%"},
    {8, 20140401, 20190930, 3, "0.08", "旧課税売上8%"},
    {9, 20191001, 99991231, 0, "0", "非課税"},
};

// ---------------------------------------------------------------- other masters

struct PartnerDef {
    int cd;
    const char* name;
    const char* kana;
};

const PartnerDef kPartners[] = {
    {1, "株式会社青葉商会", "ｱｵﾊﾞｼｮｳｶｲ"},
    {2, "有限会社みどり工業", "ﾐﾄﾞﾘｺｳｷﾞｮｳ"},
    {3, "東都システム株式会社", "ﾄｳﾄｼｽﾃﾑ"},
    {4, "株式会社山中製作所", "ﾔﾏﾅｶｾｲｻｸｼｮ"},
    {5, "北斗物産株式会社", "ﾎｸﾄﾌﾞｯｻﾝ"},
    {6, "新宿ビル管理株式会社", "ｼﾝｼﾞｭｸﾋﾞﾙｶﾝﾘ"},
    {7, "関東電力サービス株式会社", "ｶﾝﾄｳﾃﾞﾝﾘｮｸｻｰﾋﾞｽ"},
    {8, "ひかり通信株式会社", "ﾋｶﾘﾂｳｼﾝ"},
};

struct UserDef {
    int id;
    const char* name;
};

// User 1 is the administrator (user type 3 in system.ini): no permission rows.
const UserDef kUsers[] = {
    {1, "山田 太郎"},
    {2, "佐藤 花子"},
    {3, "鈴木 一郎"},
};

// Menu: one parent entry with the three programs below it.
constexpr int kMenuParent = 10;
struct MenuDef {
    int id;
    const char* program;
    int parent;
    const char* name;
};
const MenuDef kMenus[] = {
    {kMenuParent, "", 0, "財務会計"},
    {11, "WKE410", kMenuParent, "振替伝票入力"},
    {12, "WKR430", kMenuParent, "元帳照会"},
    {13, "WKR410", kMenuParent, "仕訳帳照会"},
};

// User groups: 1 accounting staff (full use), 2 viewers (inquiries, vouchers
// for reference only).
constexpr int kUserGroupAccounting = 1;
constexpr int kUserGroupViewer = 2;
struct UserLinkDef {
    int user;
    int group;
};
const UserLinkDef kUserLinks[] = {
    {2, kUserGroupAccounting},
    {3, kUserGroupViewer},
};
struct PermissionDef {
    int userGroup;
    int menu;
    int perm;
};
const PermissionDef kPermissions[] = {
    {kUserGroupAccounting, kMenuParent, 2},
    {kUserGroupAccounting, 11, 2},
    {kUserGroupAccounting, 12, 2},
    {kUserGroupAccounting, 13, 2},
    {kUserGroupViewer, kMenuParent, 2},
    {kUserGroupViewer, 11, 1},
    {kUserGroupViewer, 12, 2},
    {kUserGroupViewer, 13, 2},
};

const char* const kDescriptions[] = {
    "普通預金より現金引出",
    "現金を普通預金へ預入",
    "電話料金 口座振替",
    "電気料金 口座振替",
    "水道料金 口座振替",
    "事務所家賃 振込",
    "売掛金 入金",
    "買掛金 支払",
    "振込手数料",
    "事務用品購入",
    "交通費精算",
    "来客用茶菓子代",
};

struct TemplateDef {
    int key;
    const char* name;
    const char* voucherText;
};
const TemplateDef kTemplates[] = {
    {1, "家賃支払", "事務所家賃支払"},
    {2, "給与支払", "従業員給与支払"},
};

struct TemplateLineDef {
    int key;
    int side;
    int line;
    int kmk;
    int hk1;
    int hk2;
    int taxCode;
    qint64 amount;
    qint64 tax;
    int partner;
    const char* text;
};
const TemplateLineDef kTemplateLines[] = {
    {1, 1, 1, 650, 0, 0, kTaxPurchase, 200000, 20000, 6, "事務所家賃 振込"},
    {1, 1, 2, 660, 0, 0, kTaxPurchase, 600, 60, 0, "振込手数料"},
    {1, 2, 1, 110, 1, 0, 0, 220660, 0, 6, "事務所家賃 振込"},
    {2, 1, 1, 600, 0, 0, 0, 350000, 0, 0, "給与支払"},
    {2, 2, 1, 220, 1, 0, 0, 7650, 0, 0, "源泉所得税"},
    {2, 2, 2, 220, 2, 0, 0, 15000, 0, 0, "住民税"},
    {2, 2, 3, 220, 3, 1, 0, 17500, 0, 0, "健康保険料"},
    {2, 2, 4, 220, 3, 2, 0, 32025, 0, 0, "厚生年金保険料"},
    {2, 2, 5, 220, 3, 3, 0, 1925, 0, 0, "雇用保険料"},
    {2, 2, 6, 110, 1, 0, 0, 275900, 0, 0, "給与振込"},
};

// ---------------------------------------------------------------- opening balances

struct OpeningDef {
    int group;
    int kmk;
    int hk1;
    int hk2;
    qint64 amount;  // in the account's normal direction
};

// Retained earnings (310) of each group take the difference, so that each
// group's books open balanced.
constexpr int kRetainedEarnings = 310;
const OpeningDef kOpenings[] = {
    {kGroupSoumu, 100, 0, 0, 320000},
    {kGroupSoumu, 110, 1, 0, 4850000},
    {kGroupSoumu, 110, 2, 0, 2136500},
    {kGroupSoumu, 120, 0, 0, 1200000},
    {kGroupSoumu, 130, 1, 0, 880000},
    {kGroupSoumu, 130, 2, 0, 462000},
    {kGroupSoumu, 130, 3, 0, 1320000},
    {kGroupSoumu, 140, 0, 0, 120000},
    {kGroupSoumu, 170, 0, 0, 850000},
    {kGroupSoumu, 200, 1, 0, 715000},
    {kGroupSoumu, 200, 2, 0, 396000},
    {kGroupSoumu, 210, 0, 0, 243100},
    {kGroupSoumu, 220, 1, 0, 86400},
    {kGroupSoumu, 220, 2, 0, 72600},
    {kGroupSoumu, 220, 3, 1, 98000},
    {kGroupSoumu, 220, 3, 2, 180000},
    {kGroupSoumu, 220, 3, 3, 12000},
    {kGroupSoumu, 230, 0, 0, 350000},
    {kGroupSoumu, 300, 0, 0, 5000000},
    {kGroupEigyo, 100, 0, 0, 58000},
    {kGroupEigyo, 110, 1, 0, 1245000},
    {kGroupEigyo, 130, 1, 0, 330000},
    {kGroupEigyo, 130, 3, 0, 550000},
    {kGroupEigyo, 200, 2, 0, 165000},
    {kGroupEigyo, 210, 0, 0, 62700},
    {kGroupEigyo, 220, 1, 0, 24500},
};

// ---------------------------------------------------------------- holidays

QDate nthMonday(int year, int month, int n) {
    QDate first(year, month, 1);
    int offset = (8 - first.dayOfWeek()) % 7;  // days to the first Monday
    return first.addDays(offset + 7 * (n - 1));
}

// Day of the vernal (March) or autumnal (September) equinox by the usual
// approximation.
int equinoxDay(int year, bool vernal) {
    double base;
    if (year <= 2099) base = vernal ? 20.8431 : 23.2488;
    else base = vernal ? 21.8510 : 24.2488;
    int n = year - 1980;
    int leapDays = n >= 0 ? n / 4 : (n - 3) / 4;
    return static_cast<int>(base + 0.242194 * n) - leapDays;
}

// The national holidays of a calendar year with their names, substitute
// holidays and days between two holidays included.
QMap<QDate, QString> holidaysOf(int y) {
    QMap<QDate, QString> h;
    auto add = [&h](const QDate& d, const char* name) { h.insert(d, QString::fromUtf8(name)); };

    add(QDate(y, 1, 1), "元日");
    if (y >= 2000) add(nthMonday(y, 1, 2), "成人の日");
    else add(QDate(y, 1, 15), "成人の日");
    add(QDate(y, 2, 11), "建国記念の日");
    if (y >= 2020) add(QDate(y, 2, 23), "天皇誕生日");
    add(QDate(y, 3, equinoxDay(y, true)), "春分の日");
    add(QDate(y, 4, 29), y >= 2007 ? "昭和の日" : "みどりの日");
    if (y == 2019) add(QDate(y, 5, 1), "天皇の即位の日");
    add(QDate(y, 5, 3), "憲法記念日");
    if (y >= 2007) add(QDate(y, 5, 4), "みどりの日");
    add(QDate(y, 5, 5), "こどもの日");
    if (y == 2020) add(QDate(y, 7, 23), "海の日");
    else if (y == 2021) add(QDate(y, 7, 22), "海の日");
    else if (y >= 2003) add(nthMonday(y, 7, 3), "海の日");
    else if (y >= 1996) add(QDate(y, 7, 20), "海の日");
    if (y == 2020) add(QDate(y, 8, 10), "山の日");
    else if (y == 2021) add(QDate(y, 8, 8), "山の日");
    else if (y >= 2016) add(QDate(y, 8, 11), "山の日");
    if (y >= 2003) add(nthMonday(y, 9, 3), "敬老の日");
    else add(QDate(y, 9, 15), "敬老の日");
    add(QDate(y, 9, equinoxDay(y, false)), "秋分の日");
    if (y == 2020) add(QDate(y, 7, 24), "スポーツの日");
    else if (y == 2021) add(QDate(y, 7, 23), "スポーツの日");
    else if (y >= 2022) add(nthMonday(y, 10, 2), "スポーツの日");
    else if (y >= 2000) add(nthMonday(y, 10, 2), "体育の日");
    else add(QDate(y, 10, 10), "体育の日");
    if (y == 2019) add(QDate(y, 10, 22), "即位礼正殿の儀");
    add(QDate(y, 11, 3), "文化の日");
    add(QDate(y, 11, 23), "勤労感謝の日");
    if (y >= 1989 && y <= 2018) add(QDate(y, 12, 23), "天皇誕生日");

    const QMap<QDate, QString> national = h;
    // A holiday on a Sunday moves the rest to the next day that is no
    // holiday (before 2007: to the Monday only).
    for (auto it = national.cbegin(); it != national.cend(); ++it) {
        if (it.key().dayOfWeek() != Qt::Sunday) continue;
        QDate d = it.key().addDays(1);
        if (y >= 2007) {
            while (national.contains(d)) d = d.addDays(1);
        } else if (national.contains(d)) {
            continue;
        }
        if (d.year() == y) add(d, "振替休日");
    }
    // A weekday between two holidays is a rest day as well.
    for (auto it = national.cbegin(); it != national.cend(); ++it) {
        QDate d = it.key().addDays(1);
        if (h.contains(d) || d.dayOfWeek() == Qt::Sunday) continue;
        if (national.contains(d.addDays(1))) add(d, "国民の休日");
    }
    return h;
}

// ---------------------------------------------------------------- writer

int dateNumber(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }
int monthNumber(const QDate& d) { return d.year() * 100 + d.month(); }
QString n(qint64 v) { return QString::number(v); }

struct FiscalYear {
    int nendo;
    int closed;    // KSK_NUP
    int lastClose; // KSK_GUP
};

class Filler {
public:
    Filler(DBAccess& db, const QDate& today) : db_(db), today_(today) {
        current_ = today.month() >= 4 ? today.year() : today.year() - 1;
        // Monthly closing done up to the end of the month two months back,
        // as long as that month belongs to the current year.
        QDate closed = QDate(today.year(), today.month(), 1).addDays(-1).addMonths(-1);
        closed = QDate(closed.year(), closed.month(), closed.daysInMonth());
        int gup = closed >= QDate(current_, 4, 1) ? dateNumber(closed) : 0;
        years_ = {
            {current_ - 1, 1, dateNumber(QDate(current_, 3, 31))},
            {current_, 0, gup},
            {current_ + 1, 0, 0},
        };
    }

    bool Run() {
        return control() && fiscalYears() && accounts() && taxCodes() && switches() && partners() &&
               usersAndPermissions() && holidays() && descriptions() && templates() && openingBalances();
    }

private:
    bool exec(const QString& sql) { return db_.Execute(sql); }
    QString text(const char* s) const { return db_.SqlText(QString::fromUtf8(s)); }
    QString updDate() const { return db_.DateLiteral(today_.toString("yyyy/MM/dd")); }

    bool insert(const char* table, const char* columns, const QStringList& values) {
        return exec(QString("INSERT INTO ") + table + " (" + columns + ") VALUES (" + values.join(", ") + ")");
    }

    bool control() {
        return insert("CNTMF", "CNT_KEY, CNT_KIKBN, CNT_KUMINAME", {"1", "0", text("株式会社さくら商事")}) &&
               insert("SSKMF",
                      "SSK_CD, SSK_NAME, SSK_RNAME, SSK_SBANKBN, SSK_SDNKBN, SSK_MTPKBN, SSK_MKPKBN, SSK_ZZIKBN",
                      {n(kBranch), text("本社"), text("本社"), "0", "0", "0", "0", "0"}) &&
               insert("GRPMF", "GRP_SSKCD, GRP_CD, GRP_NAME, GRP_RNAME, GRP_KBN",
                      {n(kBranch), n(kGroupSoumu), text("総務部"), text("総務部"), "0"}) &&
               insert("GRPMF", "GRP_SSKCD, GRP_CD, GRP_NAME, GRP_RNAME, GRP_KBN",
                      {n(kBranch), n(kGroupEigyo), text("営業部"), text("営業部"), "0"});
    }

    bool fiscalYears() {
        for (const FiscalYear& y : years_) {
            QDate first(y.nendo, 4, 1);
            QStringList cols{"KSK_SSKCD", "KSK_GRPCD", "KSK_NENDO", "KSK_NUP", "KSK_KSYM", "KSK_KIST", "KSK_KIEND"};
            QStringList vals{"0", "0", n(y.nendo), n(y.closed), n(monthNumber(first)), n(dateNumber(first)),
                             n(dateNumber(first.addYears(1).addDays(-1)))};
            for (int m = 1; m <= 12; ++m) {
                QDate month = first.addMonths(m - 1);
                cols << "KSK_SIME" + n(m);
                vals << n(dateNumber(QDate(month.year(), month.month(), month.daysInMonth())));
            }
            cols << "KSK_GUP";
            vals << n(y.lastClose);
            if (!exec("INSERT INTO KSKMF (" + cols.join(", ") + ") VALUES (" + vals.join(", ") + ")")) return false;
        }
        return true;
    }

    bool accounts() {
        for (const FiscalYear& y : years_) {
            int sort = 0;
            for (const AccountDef& a : kAccounts) {
                sort += 10;
                bool owned = a.grkbn == 2;
                if (!insert("KMKMF",
                            "KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_GRKBN, KMK_SSKCD, KMK_GRPCD, KMK_TSKBN, "
                            "KMK_ZKBN, KMK_H1FLG, KMK_BUNRUI, KMK_SORT, KMK_ZOKUSEI",
                            {n(y.nendo), n(a.cd), text(a.name), text(a.shortName), n(a.grkbn),
                             n(owned ? kBranch : 0), n(owned ? a.ownerGroup : 0), n(a.side), n(a.taxCode),
                             n(hasSubAccounts(a.cd) ? 1 : 0), n(a.bunrui), n(sort), "0"}))
                    return false;
            }
            for (const SubAccount1Def& s : kSubAccounts1) {
                if (!insert("HK1MF", "HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_NM, HK1_RNAME, HK1_SORT, HK1_H2FLG",
                            {n(y.nendo), n(s.kmk), n(s.cd), text(s.name), text(s.shortName), n(s.cd * 10),
                             n(s.needsSub2)}))
                    return false;
            }
            for (int group : {kGroupSoumu, kGroupEigyo}) {
                for (const SubAccount2Def& s : kSubAccounts2) {
                    if (!insert("HK2MF",
                                "HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_NM, HK2_RNAME, "
                                "HK2_SORT",
                                {n(y.nendo), n(s.kmk), n(s.hk1), n(s.cd), n(kBranch), n(group), text(s.name),
                                 text(s.shortName), n(s.cd * 10)}))
                        return false;
                }
            }
            // Designated accounts of the generated tax lines.
            if (!insert("KKMMF", "KKM_NENDO, KKM_KBN, KKM_KMKCD", {n(y.nendo), "21", "150"}) ||
                !insert("KKMMF", "KKM_NENDO, KKM_KBN, KKM_KMKCD", {n(y.nendo), "20", "250"}))
                return false;
        }
        return true;
    }

    bool taxCodes() {
        for (const TaxCodeDef& t : kTaxCodes) {
            if (!insert("ZEIMF", "ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME",
                        {n(t.cd), n(t.from), n(t.to), n(t.kind), QString::fromLatin1(t.rate), text(t.name)}))
                return false;
        }
        return true;
    }

    bool switches() {
        const char* const values[][2] = {
            {"GTekiCopy", "0"}, {"FuriDenKingaku", "9"}, {"FuriDenFormat", "0"}, {"YOS_CHECK_ON", "0"}};
        for (const auto& v : values)
            if (!insert("SYSTEM", "SYS_KEY, SYS_VALUE", {text(v[0]), text(v[1])})) return false;
        return true;
    }

    bool partners() {
        for (const PartnerDef& p : kPartners)
            if (!insert("TRIMF", "TRI_SSKCD, TRI_CD, TRI_NAME, TRI_KANA",
                        {n(kBranch), n(p.cd), text(p.name), text(p.kana)}))
                return false;
        return true;
    }

    bool usersAndPermissions() {
        for (const UserDef& u : kUsers)
            if (!insert("USGMF", "USG_ID, USG_NAME", {n(u.id), text(u.name)})) return false;
        for (const MenuDef& m : kMenus)
            if (!insert("MNUMF", "MNU_MEID, MNU_PGID, MNU_UPID, MNU_NAME",
                        {n(m.id), text(m.program), n(m.parent), text(m.name)}))
                return false;
        for (const UserLinkDef& l : kUserLinks)
            if (!insert("UGLMF", "UGL_UID, UGL_GID", {n(l.user), n(l.group)})) return false;
        for (const PermissionDef& p : kPermissions)
            if (!insert("SECMF", "SEC_USGID, SEC_MNUID, SEC_SSKCD, SEC_PERM",
                        {n(p.userGroup), n(p.menu), n(kBranch), n(p.perm)}))
                return false;
        return true;
    }

    // The calendar years the three fiscal years touch.
    bool holidays() {
        for (int year = current_ - 1; year <= current_ + 2; ++year) {
            const QMap<QDate, QString> days = holidaysOf(year);
            for (auto it = days.cbegin(); it != days.cend(); ++it)
                if (!insert("CRNMF", "CRN_DT, CRN_NAME", {n(dateNumber(it.key())), db_.SqlText(it.value())}))
                    return false;
        }
        return true;
    }

    bool descriptions() {
        int cd = 0;
        for (const char* d : kDescriptions) {
            ++cd;
            if (!insert("TEKMF", "TEK_SSKCD, TEK_CD, TEK_NAME, TEK_SORT, TEK_UPDDATE, TEK_UPDTANCD",
                        {n(kBranch), n(cd), text(d), n(cd), updDate(), "1"}))
                return false;
        }
        return true;
    }

    bool templates() {
        for (const TemplateLineDef& l : kTemplateLines) {
            if (!insert("TSMMF",
                        "TSM_SSKCD, TSM_GRPCD, TSM_KEY, TSM_GYO, TSM_TSKBN, TSM_KMKCD, TSM_HK1CD, TSM_HK2CD, "
                        "TSM_ZKBN, TSM_KIN, TSM_TAX, TSM_TRICD, TSM_TEKIYO",
                        {n(kBranch), n(kGroupSoumu), n(l.key), n(l.line), n(l.side), n(l.kmk), n(l.hk1), n(l.hk2),
                         n(l.taxCode), n(l.amount), n(l.tax), n(l.partner), text(l.text)}))
                return false;
        }
        for (const TemplateDef& t : kTemplates) {
            if (!insert("TSHMF",
                        "TSH_SSKCD, TSH_GRPCD, TSH_KEY, TSH_NAME, TSH_DTEKIYO, TSH_SORT, TSH_KBN, TSH_UPDDATE, "
                        "TSH_UPDTANCD",
                        {n(kBranch), n(kGroupSoumu), n(t.key), text(t.name), text(t.voucherText), n(t.key), "0",
                         updDate(), "1"}))
                return false;
        }
        return true;
    }

    // Creates the twelve months of a balance key through the stored
    // procedure, gives the first month its opening balance and lets the
    // procedure carry it into the later months.
    bool openingBalance(const QString& table, const QString& prefix, const QStringList& keyColumns, int group,
                        const QList<int>& codes, qint64 amount) {
        const int firstMonth = current_ * 100 + 4;
        QStringList codeText;
        QString where = " WHERE " + prefix + "_YM = " + n(firstMonth) + "   AND " + prefix + "_SSKCD = " +
                        n(kBranch) + "   AND " + prefix + "_GRPCD = " + n(group);
        for (int i = 0; i < codes.size(); ++i) {
            codeText << n(codes[i]);
            where += "   AND " + keyColumns[i] + " = " + n(codes[i]);
        }
        const QString key = n(kBranch) + ", " + n(group) + ", " + codeText.join(", ");
        return exec("sp_" + table + "_ADD " + n(current_) + ", " + key) &&
               exec("UPDATE " + table + " SET " + prefix + "_ZZAN = " + n(amount) + where) &&
               exec("sp_" + table + "_UPDATE " + n(firstMonth) + ", " + n(current_) + ", " + key);
    }

    bool openingBalances() {
        for (int group : {kGroupSoumu, kGroupEigyo}) {
            std::map<int, qint64> perAccount;
            std::map<std::pair<int, int>, qint64> perSub1;
            std::map<std::tuple<int, int, int>, qint64> perSub2;
            qint64 debit = 0, credit = 0;
            auto book = [&](int kmk, int hk1, int hk2, qint64 amount) {
                perAccount[kmk] += amount;
                perSub1[{kmk, hk1}] += amount;
                if (hk1 != 0) perSub2[{kmk, hk1, hk2}] += amount;
                (findAccount(kmk)->side == 1 ? debit : credit) += amount;
            };
            for (const OpeningDef& o : kOpenings)
                if (o.group == group) book(o.kmk, o.hk1, o.hk2, o.amount);
            book(kRetainedEarnings, 0, 0, debit - credit);

            for (const auto& [kmk, amount] : perAccount)
                if (!openingBalance("KMZMF", "KMZ", {"KMZ_KMKCD"}, group, {kmk}, amount)) return false;
            for (const auto& [key, amount] : perSub1)
                if (!openingBalance("H1ZMF", "H1Z", {"H1Z_KMKCD", "H1Z_HK1CD"}, group, {key.first, key.second},
                                    amount))
                    return false;
            for (const auto& [key, amount] : perSub2) {
                const auto& [kmk, hk1, hk2] = key;
                if (!openingBalance("H2ZMF", "H2Z", {"H2Z_KMKCD", "H2Z_HK1CD", "H2Z_HK2CD"}, group,
                                    {kmk, hk1, hk2}, amount))
                    return false;
            }
        }
        return true;
    }

    DBAccess& db_;
    QDate today_;
    int current_ = 0;
    std::vector<FiscalYear> years_;
};

}  // namespace

bool Fill(DBAccess& db, const QDate& today) {
    if (!today.isValid()) {
        db.SetError(adErrCommand, "デモデータの基準日が正しくありません。");
        return false;
    }
    Schema::RegisterProcedures(db);
    try {
        DBTransaction tx(db);
        if (!Filler(db, today).Run()) {
            long number = db.ErrorNumber();
            QString text = db.ErrorText();
            tx.Rollback();
            db.SetError(number ? number : adErrCommand, text);
            return false;
        }
        tx.Commit();
        return true;
    } catch (const AppError& e) {
        // The transaction has been rolled back by now.
        db.SetError(e.Number ? e.Number : adErrCommand, e.Description);
        return false;
    }
}

}  // namespace DemoData
