#include "TestSupport.h"

#include "common/basCalendar.h"
#include "common/basStdComm.h"
#include "platform/VbCompat.h"

using namespace basCalendar;
using namespace basStdComm;

namespace {

const QString kFixedList = "1/1,1/15,2/11,4/29,5/3,5/4,5/5,7/20,9/15,10/10,11/3,11/23,12/23";

class HolidayListTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder.Sql("INSERT INTO CRNMF (CRN_DT, CRN_NAME) VALUES"
                   " (20260101, '元日'), (20260211, '建国記念の日'), (20260503, '憲法記念日'),"
                   " (20260504, 'みどりの日'), (20261123, '勤労感謝の日'), (20250505, 'こどもの日')");
    }
    AppFolder folder;
    MsgRecorder msgs;
};

TEST_F(HolidayListTest, YearListsItsHolidaysAsTwoDigitMonthAndDayInTableOrder) {
    EXPECT_EQ(fncGetHolidayList(2026), "01/01,02/11,05/03,05/04,11/23");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(HolidayListTest, YearWithOneRowListsJustThatItem) {
    EXPECT_EQ(fncGetHolidayList(2025), "05/05");
}

TEST_F(HolidayListTest, YearWithoutRowsGetsTheFixedDefaultList) {
    EXPECT_EQ(fncGetHolidayList(2030), kFixedList);
    EXPECT_EQ(QString::fromLatin1(gstrDefaultHolidays), kFixedList);
}

TEST_F(HolidayListTest, MonthListsOnlyThatMonthAndAnEmptyMonthTheFixedList) {
    EXPECT_EQ(fncGetHolidayList(202605), "05/03,05/04");
    EXPECT_EQ(fncGetHolidayList(202606), kFixedList);
}

TEST_F(HolidayListTest, DayListsTheHolidaysOfItsYear) {
    EXPECT_EQ(fncGetHolidayList(20250720), "05/05");
}

TEST_F(HolidayListTest, ZeroListsTheCurrentYear) {
    SetToday(QDate(2025, 8, 1));
    EXPECT_EQ(fncGetHolidayList(0), "05/05");
    SetToday(QDate(2026, 12, 31));
    EXPECT_EQ(fncGetHolidayList(0), "01/01,02/11,05/03,05/04,11/23");
}

TEST_F(HolidayListTest, InvalidDateNumberGivesEmptyTextWithoutAQuery) {
    // With the connection gone any query would fail and be reported: an
    // empty answer with no report shows that none was run.
    gobjDB->Disconnect();
    EXPECT_EQ(fncGetHolidayList(2026120), "");   // seven digits
    EXPECT_EQ(fncGetHolidayList(20260230), "");  // 30 February
    EXPECT_EQ(fncGetHolidayList(202613), "");    // month 13
    EXPECT_EQ(fncGetHolidayList(-2026), "");
    EXPECT_TRUE(msgs.Empty());
}

TEST_F(HolidayListTest, DatabaseErrorShowsTheCommonReportAndGivesEmptyText) {
    folder.Sql("DROP TABLE CRNMF");
    EXPECT_EQ(fncGetHolidayList(2026), "");
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.startsWith(QString::fromUtf8("ｴﾗｰ番号 :")));
}

TEST(DateNumberTest, KindFollowsTheDigitCount) {
    EXPECT_EQ(fncDateNumberKind(2026), 1);
    EXPECT_EQ(fncDateNumberKind(202612), 2);
    EXPECT_EQ(fncDateNumberKind(20261208), 3);
    EXPECT_EQ(fncDateNumberKind(0), 0);
    EXPECT_EQ(fncDateNumberKind(2026120), 0);
    EXPECT_EQ(fncDateNumberKind(12), 0);
    EXPECT_EQ(fncDateNumberKind(-202612), 0);
    EXPECT_EQ(fncDateNumberKind(202612080), 0);
}

TEST(DateNumberTest, DateNumberMustNameARealDate) {
    EXPECT_TRUE(fncIsDateNumber(2026));
    EXPECT_TRUE(fncIsDateNumber(202602));
    EXPECT_TRUE(fncIsDateNumber(20240229));
    EXPECT_FALSE(fncIsDateNumber(20250229));
    EXPECT_FALSE(fncIsDateNumber(20260230));
    EXPECT_FALSE(fncIsDateNumber(202600));
    EXPECT_FALSE(fncIsDateNumber(202613));
    EXPECT_FALSE(fncIsDateNumber(0));
    EXPECT_FALSE(fncIsDateNumber(2026120));
    EXPECT_FALSE(fncIsDateNumber(-20261208));
}

}  // namespace
