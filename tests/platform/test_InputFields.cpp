#include "TestSupport.h"

#include "common/basIME.h"
#include "platform/InputFields.h"
#include "platform/InputMethod.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

void TypeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        int key = c.isDigit() && c.unicode() < 128 ? Qt::Key_0 + (c.unicode() - '0')
                  : c == '/'                        ? Qt::Key_Slash
                  : c == ' '                        ? Qt::Key_Space
                  : c.isLetter() && c.unicode() < 128 ? Qt::Key_A + (c.toUpper().unicode() - 'A')
                                                      : Qt::Key_unknown;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
    }
}

void PressKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QCoreApplication::sendEvent(w, &release);
}

// A window with fields in tab order, shown and active so that focus moves.
class FieldWindow : public QWidget {
public:
    FieldWindow() {
        auto* lay = new QVBoxLayout(this);
        for (QWidget* w : std::initializer_list<QWidget*>{&date, &number, &text}) lay->addWidget(w);
        setWindowTitle("test");
        show();
        activateWindow();
        QApplication::processEvents();
    }
    imDate date{this};
    imNumber number{this};
    imText text{this};
};

class InputFieldsTest : public ::testing::Test {
protected:
    void TearDown() override { SetToday(QDate()); }
};

// ----------------------------------------------------------------- imDate

TEST_F(InputFieldsTest, DateNumValueRoundTrip) {
    imDate d;
    EXPECT_EQ(d.Format(), "yyyy/mm/dd");
    d.NumValue(20261208);
    EXPECT_EQ(d.Value(), "2026/12/08");
    EXPECT_EQ(d.NumValue(), 20261208);
    EXPECT_EQ(d.Date(), QDate(2026, 12, 8));
    EXPECT_TRUE(d.IsDate());
    d.NumValue(202604);  // a month: day 1
    EXPECT_EQ(d.Value(), "2026/04/01");
    d.NumValue(0);
    EXPECT_EQ(d.Value(), "");
    EXPECT_EQ(d.NumValue(), 0);
    EXPECT_FALSE(d.IsDate());
    d.Date(QDate(2027, 1, 31));
    EXPECT_EQ(d.NumValue(), 20270131);
}

TEST_F(InputFieldsTest, YearMonthModeShowsYearAndMonthAndGivesYyyymm) {
    imDate d;
    d.Format("yyyy/mm");
    d.NumValue(20260415);
    EXPECT_EQ(d.Value(), "2026/04");
    EXPECT_EQ(d.NumValue(), 202604);
    EXPECT_EQ(d.Date(), QDate(2026, 4, 1));
    d.NumValue(202703);
    EXPECT_EQ(d.Value(), "2027/03");
    d.Date(QDate(2026, 11, 20));
    EXPECT_EQ(d.Value(), "2026/11");
    d.Format("yyyy/mm/dd");  // the date stays, now with its day 1
    EXPECT_EQ(d.Value(), "2026/11/01");
    d.Format("yyyy");
    EXPECT_EQ(d.Value(), "2026");
    EXPECT_EQ(d.NumValue(), 2026);
}

TEST_F(InputFieldsTest, InvalidDateIsNotTakenAsADate) {
    imDate d;
    d.Value("2026/02/30");
    EXPECT_EQ(d.Value(), "2026/02/30");
    EXPECT_FALSE(d.IsDate());
    EXPECT_EQ(d.NumValue(), 0);
    EXPECT_FALSE(d.Date().isValid());
    d.NumValue(20260230);
    EXPECT_EQ(d.Value(), "2026/02/30");
    EXPECT_FALSE(d.IsDate());
    d.Value("2024/02/29");
    EXPECT_TRUE(d.IsDate());
    d.Value("2026/13/01");
    EXPECT_FALSE(d.IsDate());
}

TEST_F(InputFieldsTest, DateTextsAreReadFlexiblyAndShownInTheFormat) {
    SetToday(QDate(2026, 6, 1));
    imDate d;
    d.Value("2026/1/5");
    EXPECT_EQ(d.Value(), "2026/01/05");
    d.Value("26/1/5");
    EXPECT_EQ(d.Value(), "2026/01/05");
    d.Value("20261208");
    EXPECT_EQ(d.Value(), "2026/12/08");
    d.Value("2026-12-09");
    EXPECT_EQ(d.Value(), "2026/12/09");
    d.Value("12/24");
    EXPECT_EQ(d.Value(), "2026/12/24");
    d.Value(QString::fromUtf8("２０２６／０３／０４"));
    EXPECT_EQ(d.Value(), "2026/03/04");
}

TEST_F(InputFieldsTest, ChangeIsRaisedWhenTheProgramSetsTheValue) {
    imDate d;
    imNumber n;
    imText t;
    int dc = 0, nc = 0, tc = 0;
    QObject::connect(&d, &imDate::Change, [&] { ++dc; });
    QObject::connect(&n, &imNumber::Change, [&] { ++nc; });
    QObject::connect(&t, &imText::Change, [&] { ++tc; });
    d.NumValue(20261208);
    EXPECT_EQ(dc, 1);
    d.Value("2026/12/08");  // the same value: no change
    EXPECT_EQ(dc, 1);
    d.Value("2026/1/1");
    EXPECT_EQ(dc, 2);
    d.NumValue(0);
    EXPECT_EQ(dc, 3);
    n.Value("12");
    EXPECT_EQ(nc, 1);
    n.NumValue(0);
    EXPECT_EQ(nc, 2);
    t.Value(QString::fromUtf8("摘要"));
    EXPECT_EQ(tc, 1);
    t.Value("");
    EXPECT_EQ(tc, 2);
}

TEST_F(InputFieldsTest, DigitsTypedFastTakeTheDateShape) {
    FieldWindow w;
    w.date.SetFocus();
    TypeText(w.date.Editor(), "20261208");
    EXPECT_EQ(w.date.Value(), "2026/12/08");
    EXPECT_EQ(w.date.NumValue(), 20261208);
    w.date.Value("");
    TypeText(w.date.Editor(), "2026/12/09");
    EXPECT_EQ(w.date.NumValue(), 20261209);
    w.date.Value("");
    TypeText(w.date.Editor(), "2026a/x1");  // letters are refused
    EXPECT_EQ(w.date.Value(), "2026/1");
    w.date.Format("yyyy/mm");
    w.date.Value("");
    TypeText(w.date.Editor(), "202611");
    EXPECT_EQ(w.date.Value(), "2026/11");
}

TEST_F(InputFieldsTest, LeavingADateFieldTidiesItsTextBeforeLostFocus) {
    FieldWindow w;
    ASSERT_TRUE(w.isActiveWindow());
    QString seen;
    int got = 0;
    QObject::connect(&w.date, &imDate::GotFocus, [&] { ++got; });
    QObject::connect(&w.date, &imDate::LostFocus, [&] { seen = w.date.Value(); });
    w.number.SetFocus();  // the window gave the first field the focus
    w.date.SetFocus();
    EXPECT_EQ(got, 1);
    TypeText(w.date.Editor(), "26/3/4");
    PressKey(w.date.Editor(), Qt::Key_Return);  // Enter moves to the next field
    EXPECT_EQ(seen, "2026/03/04");
    EXPECT_TRUE(w.number.Editor()->hasFocus());
    PressKey(w.number.Editor(), Qt::Key_Up);  // Up goes back
    EXPECT_TRUE(w.date.Editor()->hasFocus());
    EXPECT_EQ(got, 2);
    EXPECT_EQ(w.date.Editor()->selectedText(), "2026/03/04");  // typing replaces it
}

TEST_F(InputFieldsTest, FirstFieldOfAShownWindowGetsFocusButNotAgainOnReactivation) {
    QWidget w;
    auto* lay = new QVBoxLayout(&w);
    auto* first = new imText(&w);
    auto* second = new imNumber(&w);
    lay->addWidget(first);
    lay->addWidget(second);
    int got = 0, lost = 0;
    QObject::connect(first, &imText::GotFocus, [&] { ++got; });
    QObject::connect(first, &imText::LostFocus, [&] { ++lost; });
    w.show();
    w.activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(first->Editor()->hasFocus());
    EXPECT_EQ(got, 1);
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    w.activateWindow();
    QApplication::processEvents();
    EXPECT_TRUE(first->Editor()->hasFocus());
    EXPECT_EQ(got, 1);
    EXPECT_EQ(lost, 0);
    second->SetFocus();
    EXPECT_EQ(lost, 1);
}

TEST_F(InputFieldsTest, DropDownCalendarAsksForHolidaysAndMarksThem) {
    SetToday(QDate(2026, 6, 1));
    FieldWindow w;
    std::vector<int> years;
    int opening = 0;
    QObject::connect(&w.date, &imDate::CalendarOpening, [&] {
        ++opening;
        w.date.Holidays("1/1,5/3");  // this year's list
    });
    QObject::connect(&w.date, &imDate::CalendarYearChanged, [&](int y) {
        years.push_back(y);
        w.date.Holidays(y == 2025 ? "01/01,05/05" : "01/01,01/12");
    });
    w.date.NumValue(20250510);
    w.date.SetFocus();
    PressKey(w.date.Editor(), Qt::Key_F4);
    ASSERT_TRUE(w.date.IsDroppedDown());
    EXPECT_EQ(opening, 1);
    EXPECT_EQ(years, std::vector<int>{2025});  // the shown year is not this year
    QCalendarWidget* cal = w.date.Calendar()->Widget();
    EXPECT_EQ(cal->yearShown(), 2025);
    EXPECT_EQ(cal->monthShown(), 5);
    EXPECT_EQ(cal->dateTextFormat(QDate(2025, 5, 5)).foreground().color(), QColor(255, 0, 0));
    EXPECT_FALSE(cal->dateTextFormat().contains(QDate(2025, 5, 3)));
    EXPECT_EQ(cal->weekdayTextFormat(Qt::Saturday).foreground().color(), QColor(0, 0, 255));
    EXPECT_EQ(cal->weekdayTextFormat(Qt::Sunday).foreground().color(), QColor(255, 0, 0));
    cal->setCurrentPage(2025, 12);  // same year: nothing asked
    EXPECT_EQ(years.size(), 1u);
    cal->setCurrentPage(2026, 1);
    EXPECT_EQ(years, (std::vector<int>{2025, 2026}));
    EXPECT_EQ(cal->dateTextFormat(QDate(2026, 1, 12)).foreground().color(), QColor(255, 0, 0));
    // Enter on a day chooses it.
    cal->setSelectedDate(QDate(2026, 1, 20));
    auto* view = cal->findChild<QAbstractItemView*>();
    ASSERT_NE(view, nullptr);
    PressKey(view, Qt::Key_Return);
    EXPECT_FALSE(w.date.IsDroppedDown());
    EXPECT_EQ(w.date.NumValue(), 20260120);
}

TEST_F(InputFieldsTest, CalendarOpensOnAltDownAndTheButtonAndEscapeLeavesTheValue) {
    SetToday(QDate(2026, 6, 1));
    FieldWindow w;
    std::vector<int> years;
    QObject::connect(&w.date, &imDate::CalendarYearChanged, [&](int y) { years.push_back(y); });
    w.date.SetFocus();
    PressKey(w.date.Editor(), Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(w.date.IsDroppedDown());
    EXPECT_TRUE(years.empty());  // an empty field shows today, this year
    EXPECT_EQ(w.date.Calendar()->Widget()->monthShown(), 6);
    PressKey(w.date.Calendar()->Widget()->findChild<QAbstractItemView*>(), Qt::Key_Escape);
    EXPECT_FALSE(w.date.IsDroppedDown());
    EXPECT_EQ(w.date.Value(), "");
    w.date.findChild<QToolButton*>("dropDown")->click();
    EXPECT_TRUE(w.date.IsDroppedDown());
    w.date.CloseUp();
    w.date.setEnabled(false);
    w.date.DropDown();
    EXPECT_FALSE(w.date.IsDroppedDown());
}

// --------------------------------------------------------------- imNumber

TEST_F(InputFieldsTest, NumberRefusesEverythingButDigitsUpToTheFormatLength) {
    FieldWindow w;
    w.number.SetFocus();
    TypeText(w.number.Editor(), "1a2-3.x");
    EXPECT_EQ(w.number.Value(), "123");
    EXPECT_EQ(w.number.NumValue(), 123);
    w.number.Value("");
    w.number.Format("###0");
    TypeText(w.number.Editor(), "123456");
    EXPECT_EQ(w.number.Value(), "1234");
    w.number.Value("");
    TypeText(w.number.Editor(), QString::fromUtf8("４５"));  // full-width digits count as digits
    EXPECT_EQ(w.number.Value(), "45");
}

TEST_F(InputFieldsTest, NumberValueIsTextAndMayBeEmpty) {
    imNumber n;
    EXPECT_EQ(n.Format(), "#######0");
    EXPECT_EQ(n.MaxDigits(), 8);
    EXPECT_EQ(n.Value(), "");
    EXPECT_TRUE(n.IsEmpty());
    EXPECT_EQ(n.NumValue(), 0);
    n.Value("007");
    EXPECT_EQ(n.Value(), "7");
    n.NumValue(0);
    EXPECT_EQ(n.Value(), "0");  // "#######0" shows zero
    n.Value("abc");
    EXPECT_EQ(n.Value(), "");
    n.Value("-5");
    EXPECT_EQ(n.Value(), "");
    n.Value("12.7");
    EXPECT_EQ(n.Value(), "12");
    n.Format("########");
    n.NumValue(0);
    EXPECT_EQ(n.Value(), "");  // only "#": zero shows empty
    n.NumValue(99999999);
    EXPECT_EQ(n.NumValue(), 99999999);
}

TEST_F(InputFieldsTest, KeyDownComesFirstAndCanSwallowTheKey) {
    FieldWindow w;
    std::vector<std::pair<int, int>> keys;
    QObject::connect(&w.number, &imNumber::KeyDown, [&](int& code, int shift) {
        keys.emplace_back(code, shift);
        if (code == 116 || code == 32) code = 0;  // F5 and Space open a search
    });
    w.number.SetFocus();
    PressKey(w.number.Editor(), Qt::Key_F5);
    TypeText(w.number.Editor(), "1 2");
    PressKey(w.number.Editor(), Qt::Key_Return, Qt::ShiftModifier);
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0], std::make_pair(116, 0));
    EXPECT_EQ(keys[2], std::make_pair(32, 0));
    EXPECT_EQ(keys[4], std::make_pair(13, 1));
    EXPECT_EQ(w.number.Value(), "12");
    EXPECT_TRUE(w.date.Editor()->hasFocus());  // Shift+Enter went back
}

TEST_F(InputFieldsTest, DisabledFieldsTakeNoFocus) {
    FieldWindow w;
    w.number.setEnabled(false);
    w.date.SetFocus();
    PressKey(w.date.Editor(), Qt::Key_Return);
    EXPECT_TRUE(w.text.Editor()->hasFocus());
    EXPECT_FALSE(w.number.Editor()->isEnabled());
}

// ------------------------------------------------------ input method, panel

TEST_F(InputFieldsTest, SetImeOpenActsOnTheFocusedFieldOfTheWindow) {
    FieldWindow w;
    w.text.SetFocus();
    EXPECT_TRUE(InputMethod::IsOpen(w.text.Editor()));
    basIME::SetImeOpen(&w, false);
    EXPECT_FALSE(InputMethod::IsOpen(w.text.Editor()));
    EXPECT_FALSE(w.text.Editor()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_TRUE(w.text.Editor()->inputMethodHints() & Qt::ImhLatinOnly);
    EXPECT_TRUE(InputMethod::IsOpen(w.date.Editor()));  // other fields untouched
    basIME::SetImeOpen(&w, true);
    EXPECT_TRUE(InputMethod::IsOpen(w.text.Editor()));
    InputMethod::SetOpen(w.number.Editor(), false);
    InputMethod::SetJapaneseConversion(w.number.Editor());
    EXPECT_TRUE(InputMethod::IsOpen(w.number.Editor()));
    EXPECT_EQ(w.number.Editor()->property("imeConversionMode").toInt(), 25);
}

TEST_F(InputFieldsTest, PanelHasTheSystemColoursACentredCaptionAndAFrame) {
    Panel3D p(QString::fromUtf8("伝票日付"));
    EXPECT_EQ(p.Caption(), QString::fromUtf8("伝票日付"));
    EXPECT_EQ(p.BackColor(), QColor(252, 234, 206));
    EXPECT_EQ(p.ForeColor(), QColor(96, 26, 10));
    EXPECT_EQ(p.palette().color(QPalette::Window), QColor(252, 234, 206));
    EXPECT_EQ(p.Alignment(), Qt::AlignCenter);
    EXPECT_EQ(p.frameShadow(), QFrame::Sunken);
    p.BackColor(QColor(179, 244, 163));
    p.ForeColor(QColor(26, 91, 10));
    p.Caption(QString::fromUtf8("2026年度"));
    p.Bevel(Panel3D::Raised);
    p.Alignment(Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(p.palette().color(QPalette::Window), QColor(179, 244, 163));
    EXPECT_EQ(p.palette().color(QPalette::WindowText), QColor(26, 91, 10));
    EXPECT_EQ(p.text(), QString::fromUtf8("2026年度"));
    EXPECT_EQ(p.frameShadow(), QFrame::Raised);
    EXPECT_EQ(p.Alignment(), Qt::AlignLeft | Qt::AlignVCenter);
}

}  // namespace
