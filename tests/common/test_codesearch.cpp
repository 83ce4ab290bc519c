#include "TestSupport.h"

#include "common/basStdComm.h"
#include "common/basTavikCodeSearch.h"
#include "platform/CodeSearch.h"
#include "platform/VbCompat.h"

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QScrollBar>
#include <QTextDocument>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <optional>

using namespace basTavik;
using namespace basStdComm;

namespace {

// Answers every search without a window: records the request and chooses
// the row whose code is `code` (none: cancels).
class SearchRecorder {
public:
    SearchRecorder() {
        SetCodeSearchHandler([this](const CodeSearchRequest& r) {
            requests.push_back(r);
            if (!code) return CodeSearch::Cancel;
            for (int i = 0; i < static_cast<int>(r.rows.size()); ++i)
                if (r.rows[i].value(0).toLongLong() == *code) return i;
            return CodeSearch::Cancel;
        });
    }
    ~SearchRecorder() { SetCodeSearchHandler(nullptr); }
    QList<qlonglong> Codes() const {
        QList<qlonglong> c;
        for (const auto& row : requests.back().rows) c << row.value(0).toLongLong();
        return c;
    }
    std::optional<qlonglong> code;
    std::vector<CodeSearchRequest> requests;
};

void ExpectAllEmpty() {
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(gvarSearchResult[i].isValid()) << "element " << i;
}

class CodeSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Sql(
            "INSERT INTO KMKMF (KMK_NENDO, KMK_CD, KMK_NM, KMK_RNAME, KMK_GRKBN, KMK_SSKCD, KMK_GRPCD, KMK_SORT) VALUES"
            " (2026, 100, '現金勘定', '現金', 0, 0, 0, 2),"
            " (2026, 200, '本部預金', '本部預金', 1, 0, 0, 1),"
            " (2026, 300, '自グループ専用', '専用', 2, 1, 1, 3),"
            " (2026, 400, '他グループ専用', '他専用', 2, 1, 2, 4),"
            " (2026, 500, '共通経費', '経費', 3, 0, 0, 5),"
            " (2025, 900, '旧科目', '旧', 0, 0, 0, 1)");
        folder.Sql("INSERT INTO TEKMF (TEK_SSKCD, TEK_CD, TEK_NAME, TEK_SORT) VALUES"
                   " (1, 1, '会議費支払', 3), (1, 2, '交通費精算', 1), (1, 3, '通信費', 2), (2, 9, '他支部', 1)");
        folder.Sql("INSERT INTO USGMF (USG_ID, USG_NAME) VALUES (1, '山田太郎'), (2, '鈴木花子')");
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(CodeSearchTest, CancelledSearchLeavesAllTwentyElementsEmptyAndReturnsFalse) {
    SearchRecorder search;
    EXPECT_FALSE(FncShowCodeSearch("TAN", 1, 1));
    ASSERT_EQ(search.requests.size(), 1u);
    ExpectAllEmpty();
}

TEST_F(CodeSearchTest, ChosenRowFillsCodeAndNameAndLeavesTheRestEmpty) {
    SearchRecorder search;
    search.code = 100;
    EXPECT_TRUE(FncShowCodeSearch("KMK", 2026, 0, 1, 1));
    EXPECT_EQ(gvarSearchResult[0].toLongLong(), 100);
    EXPECT_EQ(gvarSearchResult[1].toString(), QString::fromUtf8("現金"));
    EXPECT_EQ(gvarSearchResult[2].toString(), QString::fromUtf8("現金勘定"));
    for (int i = 7; i < 20; ++i) EXPECT_FALSE(gvarSearchResult[i].isValid());
    EXPECT_EQ(search.requests.back().title, QString::fromUtf8("科目検索"));
}

TEST_F(CodeSearchTest, SecondSearchErasesTheFirstEvenWhenCancelled) {
    SearchRecorder search;
    search.code = 2;
    ASSERT_TRUE(FncShowCodeSearch("TAN", 1, 1));
    ASSERT_EQ(gvarSearchResult[0].toLongLong(), 2);
    search.code.reset();
    EXPECT_FALSE(FncShowCodeSearch("TEK", 1));
    ExpectAllEmpty();
}

TEST_F(CodeSearchTest, AccountListHoldsOnlyTheFiscalYearAndAccountsTheGroupKindMayUse) {
    SearchRecorder search;
    // Group kind 0: scope 1 usable, scope 2 never; sorted by KMK_SORT.
    FncShowCodeSearch("KMK", 2026, 0, 1, 1);
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{200, 100, 500}));
    // Group kind 1: scope 1 not, scope 2 only the own branch and group.
    FncShowCodeSearch("KMK", 2026, 1, 1, 1);
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{100, 300, 500}));
    FncShowCodeSearch("KMK", 2026, 1, 1, 2);
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{100, 400, 500}));
    // Another fiscal year; parameters as decimal text read the same.
    FncShowCodeSearch("KMK", "2025", "0", "1", "1");
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{900}));
    FncShowCodeSearch("KMK", "2026", "1", "1", "1");
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{100, 300, 500}));
    FncShowCodeSearch("KMK", QVariant::fromValue(2026L), QVariant::fromValue(1L), QVariant::fromValue(1L),
                      QVariant::fromValue(1L));
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{100, 300, 500}));
    EXPECT_EQ(search.requests.back().params.value(0).toString(), "2026");
}

TEST_F(CodeSearchTest, DescriptionSearchReturnsTheTextInElementOneForTheBranchOnly) {
    SearchRecorder search;
    search.code = 3;
    EXPECT_TRUE(FncShowCodeSearch("TEK", 1));
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{2, 3, 1}));  // TEK_SORT order
    EXPECT_EQ(gvarSearchResult[0].toLongLong(), 3);
    EXPECT_EQ(gvarSearchResult[1].toString(), QString::fromUtf8("通信費"));
    EXPECT_EQ(search.requests.back().title, QString::fromUtf8("摘要検索"));
}

TEST_F(CodeSearchTest, PersonSearchReturnsTheNameInElementTwo) {
    SearchRecorder search;
    search.code = 2;
    EXPECT_TRUE(FncShowCodeSearch("TAN", 1, 1));
    EXPECT_EQ(gvarSearchResult[0].toLongLong(), 2);
    EXPECT_EQ(gvarSearchResult[2].toString(), QString::fromUtf8("鈴木花子"));
}

TEST_F(CodeSearchTest, SubAccountPartnerAndTaxListsFollowTheirParameters) {
    folder.Sql("INSERT INTO HK1MF (HK1_NENDO, HK1_KMKCD, HK1_CD, HK1_RNAME, HK1_SORT) VALUES"
               " (2026, 100, 1, 'A', 2), (2026, 100, 2, 'B', 1), (2026, 200, 3, 'C', 1), (2025, 100, 4, 'D', 1)");
    folder.Sql("INSERT INTO HK2MF (HK2_NENDO, HK2_KMKCD, HK2_HK1CD, HK2_CD, HK2_SSKCD, HK2_GRPCD, HK2_RNAME) VALUES"
               " (2026, 100, 1, 11, 1, 1, 'X'), (2026, 100, 1, 12, 1, 2, 'Y'), (2026, 100, 2, 13, 1, 1, 'Z')");
    folder.Sql("INSERT INTO TRIMF (TRI_SSKCD, TRI_CD, TRI_NAME) VALUES (1, 7, '取引先A'), (2, 8, '取引先B')");
    folder.Sql("INSERT INTO ZEIMF (ZEI_CD, ZEI_DATEST, ZEI_DATEEND, ZEI_KBN, ZEI_RITU, ZEI_NAME) VALUES"
               " (1, 20140401, 20190930, 1, 0.08, '課税8%'), (1, 20191001, 99991231, 1, 0.1, '課税10%'),"
               " (2, 20000101, 99991231, 0, 0, '非課税')");
    SetToday(QDate(2026, 12, 8));
    SearchRecorder search;
    FncShowCodeSearch("HK1", 2026, 100, QString::fromUtf8("現金"));
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{2, 1}));
    EXPECT_TRUE(search.requests.back().heading.contains(QString::fromUtf8("現金")));
    FncShowCodeSearch("HK2", 2026, 100, "", 1, "", 1, 1);
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{11}));
    FncShowCodeSearch("TRI", 2);
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{8}));
    search.code = 1;
    EXPECT_TRUE(FncShowCodeSearch("ZEI"));
    EXPECT_EQ(search.Codes(), (QList<qlonglong>{1, 2}));  // one row per code
    EXPECT_EQ(gvarSearchResult[1].toString(), QString::fromUtf8("課税10%"));  // the row valid today
}

TEST_F(CodeSearchTest, UnknownKindAndDatabaseErrorsEndSilentlyWithFalse) {
    SearchRecorder search;
    search.code = 1;
    EXPECT_FALSE(FncShowCodeSearch("XYZ"));
    EXPECT_TRUE(search.requests.empty());
    folder.Sql("DROP TABLE TEKMF");
    EXPECT_FALSE(FncShowCodeSearch("TEK", 1));
    ExpectAllEmpty();
    EXPECT_TRUE(msgs.Empty());
}

TEST(CodeSearchConnectionTest, WithoutAnOpenConnectionTheDataLinkFileIsUsed) {
    AppFolder folder(false);
    folder.Sql("INSERT INTO USGMF (USG_ID, USG_NAME) VALUES (5, '佐藤')");
    SearchRecorder search;
    search.code = 5;
    EXPECT_TRUE(FncShowCodeSearch("TAN", 1, 1));
    EXPECT_EQ(gvarSearchResult[2].toString(), QString::fromUtf8("佐藤"));
}

// --- the real window, offscreen

void TypeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
    }
}

void PressKey(QWidget* w, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

// Runs `act` on the search window as soon as it is shown.
void WhenWindowShows(std::function<void(QDialog*)> act) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dlg && dlg->isVisible()) {
            act(dlg);
            if (dlg->isVisible()) dlg->reject();  // a failed step must not hang the test
            *poll = nullptr;                      // break the cycle
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

TEST_F(CodeSearchTest, WindowNarrowsByTheTypedTextAndEnterChoosesTheRow) {
    int shownRows = -1;
    QString title;
    WhenWindowShows([&](QDialog* dlg) {
        title = dlg->windowTitle();
        auto* filter = dlg->findChild<QLineEdit*>("txtFilter");
        auto* list = dlg->findChild<QTreeWidget*>("lstResult");
        ASSERT_TRUE(filter && list);
        TypeText(filter, QString::fromUtf8("会議"));
        shownRows = 0;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (!list->topLevelItem(i)->isHidden()) ++shownRows;
        PressKey(filter, Qt::Key_Return);
    });
    EXPECT_TRUE(FncShowCodeSearch("TEK", 1));
    EXPECT_EQ(title, QString::fromUtf8("摘要検索"));
    EXPECT_EQ(shownRows, 1);
    EXPECT_EQ(gvarSearchResult[0].toLongLong(), 1);
    EXPECT_EQ(gvarSearchResult[1].toString(), QString::fromUtf8("会議費支払"));
}

TEST_F(CodeSearchTest, WindowMovesWithTheArrowKeysAndEscapeCancels) {
    WhenWindowShows([](QDialog* dlg) {
        auto* filter = dlg->findChild<QLineEdit*>("txtFilter");
        TypeText(filter, "");
        PressKey(filter, Qt::Key_Down);  // second row in TEK_SORT order: 通信費
        PressKey(filter, Qt::Key_Return);
    });
    EXPECT_TRUE(FncShowCodeSearch("TEK", 1));
    EXPECT_EQ(gvarSearchResult[1].toString(), QString::fromUtf8("通信費"));

    WhenWindowShows([](QDialog* dlg) { PressKey(dlg->findChild<QLineEdit*>("txtFilter"), Qt::Key_Escape); });
    EXPECT_FALSE(FncShowCodeSearch("TEK", 1));
    ExpectAllEmpty();
}

TEST_F(CodeSearchTest, WindowFiltersCodesByTheirBeginning) {
    WhenWindowShows([](QDialog* dlg) {
        auto* filter = dlg->findChild<QLineEdit*>("txtFilter");
        TypeText(filter, QString::fromUtf8("２"));  // full-width digit matches code 2
        PressKey(filter, Qt::Key_Return);
    });
    EXPECT_TRUE(FncShowCodeSearch("TAN", 1, 1));
    EXPECT_EQ(gvarSearchResult[0].toLongLong(), 2);
}

TEST_F(CodeSearchTest, ALongDescriptionIsCutToTheWindowAndShownWholeInItsTooltip) {
    const QString longText = QString::fromUtf8("長い摘要").repeated(250);  // 1,000 characters
    folder.Sql("INSERT INTO TEKMF (TEK_SSKCD, TEK_CD, TEK_NAME, TEK_SORT) VALUES (1, 4, '" + longText + "', 4)");
    auto fits = [](QTreeWidget* list) {
        int sum = 0;
        for (int c = 0; c < list->columnCount(); ++c) sum += list->columnWidth(c);
        return list->horizontalScrollBar()->maximum() == 0 && sum <= list->viewport()->width();
    };
    bool fitOpened = false, fitNarrowed = false;
    QString tip;
    WhenWindowShows([&](QDialog* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>("lstResult");
        ASSERT_TRUE(list);
        QApplication::processEvents();
        fitOpened = fits(list);
        dlg->resize(360, dlg->height());
        QApplication::processEvents();
        fitNarrowed = fits(list);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == "4") {
                QTextDocument doc;
                doc.setHtml(list->topLevelItem(i)->toolTip(1));
                tip = doc.toPlainText();
            }
        PressKey(dlg->findChild<QLineEdit*>("txtFilter"), Qt::Key_Escape);
    });
    EXPECT_FALSE(FncShowCodeSearch("TEK", 1));
    EXPECT_TRUE(fitOpened);
    EXPECT_TRUE(fitNarrowed);
    EXPECT_TRUE(tip == longText) << tip.size() << " characters in the tooltip";
}

}  // namespace
