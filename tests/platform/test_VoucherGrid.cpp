// The voucher grid control: cell values and their events, the keyboard
// (KeyDown/KeyPress first, then the grid's own moves and editing), rows,
// totals, the lock, and what assistive technology can read.
#include "platform/KeyCodes.h"
#include "platform/VoucherGrid.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QMouseEvent>
#include <gtest/gtest.h>
#include <malloc.h>
#include <ostream>

// Readable failure messages.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kAmount = QStringLiteral("###,###,###,##0");

// Four visual lines per row block, the debit half (KR) in grid columns 0-4
// and the credit half (KS) in columns 5-9:
//   KMKCD | HK1CD | HK2CD | ZKBN   | KIN
//   KMKNM | HK1NM | HK2NM | ZKBNNM | TAX
//   TRICD | TRINM ....................
//   TEKI .............................
VoucherGridLayout EntryLayout() {
    VoucherGridLayout l;
    l.linesPerRow = 4;
    for (int half = 0; half < 2; ++half) {
        const QString side = half ? QStringLiteral("KS") : QStringLiteral("KR");
        const int b = half * 5;
        auto code = [&](const QString& suffix, const QString& caption, int line, int col) {
            VoucherGridCell c;
            c.key = side + suffix;
            c.caption = caption;
            c.line = line;
            c.column = b + col;
            c.width = 120;
            c.numeric = true;
            c.maxLength = 8;
            l.cells.push_back(c);
        };
        auto name = [&](const QString& suffix, const QString& caption, int line, int col, int span) {
            VoucherGridCell c;
            c.key = side + suffix;
            c.caption = caption;
            c.line = line;
            c.column = b + col;
            c.span = span;
            c.stop = false;
            c.editable = false;
            l.cells.push_back(c);
        };
        auto amount = [&](const QString& suffix, const QString& caption, int line) {
            VoucherGridCell c;
            c.key = side + suffix;
            c.caption = caption;
            c.line = line;
            c.column = b + 4;
            c.width = 130;
            c.format = kAmount;
            c.numeric = true;
            c.maxLength = 15;
            l.cells.push_back(c);
        };
        code("KMKCD", "科目", 0, 0);
        code("HK1CD", "補助1", 0, 1);
        code("HK2CD", "補助2", 0, 2);
        code("ZKBN", "税区分", 0, 3);
        amount("KIN", "金額", 0);
        name("KMKNM", "科目名", 1, 0, 1);
        name("HK1NM", "補助1名", 1, 1, 1);
        name("HK2NM", "補助2名", 1, 2, 1);
        name("ZKBNNM", "税区分名", 1, 3, 1);
        amount("TAX", "消費税", 1);
        code("TRICD", "取引先", 2, 0);
        name("TRINM", "取引先名", 2, 1, 4);
        VoucherGridCell teki;
        teki.key = side + "TEKI";
        teki.caption = "摘要";
        teki.line = 3;
        teki.column = b;
        teki.span = 5;
        teki.ime = true;
        teki.maxLength = 40;
        l.cells.push_back(teki);
    }
    l.header.push_back({QString(), "借方", 0, 0, 5});
    l.header.push_back({QString(), "貸方", 0, 5, 5});
    l.AddCaptionHeader(1);
    l.footer.push_back({QString(), "合計", 3, 1, QString(), {}});
    l.footer.push_back({"GKRKIN", QString(), 4, 1, kAmount, {}});
    l.footer.push_back({QString(), "合計", 8, 1, QString(), {}});
    l.footer.push_back({"GKSKIN", QString(), 9, 1, kAmount, {}});
    return l;
}

// One line per row, as the inquiry grids use it.
VoucherGridLayout InquiryLayout() {
    VoucherGridLayout l;
    const char* keys[] = {"DATA_DATE", "DATA_DENNO", "DATA_KARI", "DATA_TEKIYO"};
    for (int i = 0; i < 4; ++i) {
        VoucherGridCell c;
        c.key = keys[i];
        c.caption = keys[i];
        c.column = i;
        c.editable = false;
        if (i == 2) c.format = "###,###,###,###,###";
        l.cells.push_back(c);
    }
    l.footer.push_back({"FOOT_KARI", QString(), 2, 1, "###,###,###,###,###", {}});
    return l;
}

struct Recorded {
    QStringList changed;     // "KEY:row" per CellChanged
    QStringList values;      // per CellValue
    QStringList entered;     // per CellEnter
    int beginEdits = 0;
    int keyDowns = 0;
    int keyPresses = 0;
    int doubleClicks = 0;
};

class VoucherGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.SetGridLayout(EntryLayout());
        grid.setRows(50);
        grid.resize(1300, 640);
        grid.show();
        grid.activateWindow();
        grid.setFocus();
        QApplication::processEvents();
        QObject::connect(&grid, &VoucherGrid::CellChanged, [this](const QString& k, int r) {
            rec.changed << k + ":" + QString::number(r);
        });
        QObject::connect(&grid, &VoucherGrid::CellValue, [this](QString& v) { rec.values << v; });
        QObject::connect(&grid, &VoucherGrid::CellEnter, [this](const QString& k) { rec.entered << k; });
        QObject::connect(&grid, &VoucherGrid::CellBeginEdit, [this] { ++rec.beginEdits; });
        QObject::connect(&grid, &VoucherGrid::KeyDown, [this](int&, int&) { ++rec.keyDowns; });
        QObject::connect(&grid, &VoucherGrid::KeyPress, [this](int&) { ++rec.keyPresses; });
        QObject::connect(&grid, &VoucherGrid::RowDblClick, [this] { ++rec.doubleClicks; });
    }

    // A key as the user presses it: to the cell editor while one is open,
    // else to the table.
    void press(Qt::Key key, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = grid.editor() ? static_cast<QWidget*>(grid.editor()) : grid.view();
        QString text;
        switch (key) {
        case Qt::Key_Return: text = "\r"; break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: text = "\t"; break;
        case Qt::Key_Escape: text = "\x1b"; break;
        case Qt::Key_Backspace: text = "\b"; break;
        default: break;
        }
        QKeyEvent down(QEvent::KeyPress, key, m, text);
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, m, text);
        QApplication::sendEvent(target, &up);
    }
    void typeText(const QString& text) {
        for (QChar ch : text) {
            QWidget* target = grid.editor() ? static_cast<QWidget*>(grid.editor()) : grid.view();
            QKeyEvent down(QEvent::KeyPress, ch.isDigit() ? Qt::Key_0 + ch.digitValue() : 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(target, &down);
        }
    }
    void at(const QString& key, int row) {
        grid.setCurrentRow(row);
        grid.setCurrentKey(key);
        rec = Recorded();
    }
    QString where() const { return grid.CurrentKey() + ":" + QString::number(grid.CurrentRow()); }

    VoucherGrid grid;
    Recorded rec;
};

// ---------------------------------------------------------------------------
// Values and CellChanged

TEST_F(VoucherGridTest, SetCellByProgramRaisesCellChangedWithKeyAndRowOnlyOnAChange) {
    grid.setCell("KRKIN", 3, "1080");
    grid.setCell("KSTEKI", 49, "家賃");
    EXPECT_EQ(rec.changed, (QStringList{"KRKIN:3", "KSTEKI:49"}));
    EXPECT_EQ(grid.Cell("KSTEKI", 49), "家賃");

    grid.setCell("KRKIN", 3, "1080");  // same value
    grid.setCell("NOSUCHKEY", 3, "1");
    grid.setCell("KRKIN", 50, "1");     // no such row
    EXPECT_EQ(rec.changed.size(), 2);
    EXPECT_EQ(grid.Cell("NOSUCHKEY", 3), "");
    EXPECT_EQ(grid.Cell("KRKIN", 50), "");
}

TEST_F(VoucherGridTest, AmountsShowSeparatorsButCellKeepsTheRawText) {
    grid.setCell("KRKIN", 0, "1234567");
    grid.setCell("KSTAX", 0, "-80000");
    grid.setCell("KRKMKCD", 0, "1000");
    EXPECT_EQ(grid.Cell("KRKIN", 0), "1234567");
    EXPECT_EQ(grid.DisplayText("KRKIN", 0), "1,234,567");
    EXPECT_EQ(grid.DisplayText("KSTAX", 0), "-80,000");
    EXPECT_EQ(grid.DisplayText("KRKMKCD", 0), "1000");  // codes are text, never grouped
    QModelIndex idx = grid.view()->currentIndex().model()->index(0, 4);
    EXPECT_EQ(idx.data(Qt::DisplayRole).toString(), "1,234,567");
    EXPECT_EQ(idx.data(Qt::EditRole).toString(), "1234567");
}

TEST(VoucherGridFormat, FormatsGroupWholeUnitsAndLeaveTextAlone) {
    EXPECT_EQ(VoucherGrid::FormatText("1080", kAmount), "1,080");
    EXPECT_EQ(VoucherGrid::FormatText("0", kAmount), "0");
    EXPECT_EQ(VoucherGrid::FormatText("0", "###,###,###,###,###"), "");  // '#' only: zero shows blank
    EXPECT_EQ(VoucherGrid::FormatText("999.5", kAmount), "1,000");       // half away from zero
    EXPECT_EQ(VoucherGrid::FormatText("-999.5", kAmount), "-1,000");
    EXPECT_EQ(VoucherGrid::FormatText("-0.4", kAmount), "0");
    EXPECT_EQ(VoucherGrid::FormatText("1234.5", "#,##0.00"), "1,234.50");
    EXPECT_EQ(VoucherGrid::FormatText("", kAmount), "");
    EXPECT_EQ(VoucherGrid::FormatText("abc", kAmount), "abc");
    EXPECT_EQ(VoucherGrid::FormatText("1234", ""), "1234");
}

// ---------------------------------------------------------------------------
// Editing

TEST_F(VoucherGridTest, TypedValueIsConfirmedThroughCellValueThenCellChanged) {
    at("KRKIN", 2);
    QStringList order;
    QObject::connect(&grid, &VoucherGrid::CellValue, [&](QString& v) {
        order << "value " + v + " at " + where();
    });
    QObject::connect(&grid, &VoucherGrid::CellChanged, [&](const QString& k, int r) {
        order << "changed " + k + ":" + QString::number(r) + " at " + where();
    });
    typeText("1080");  // the first key opens the editor and is kept
    ASSERT_TRUE(grid.CellEditing());
    EXPECT_EQ(grid.editor()->text(), "1080");
    press(Qt::Key_Return);
    EXPECT_FALSE(grid.CellEditing());
    EXPECT_EQ(grid.Cell("KRKIN", 2), "1080");
    EXPECT_EQ(rec.beginEdits, 1);
    // Both events see the cursor still on the edited cell; then it moves on.
    EXPECT_EQ(order, (QStringList{"value 1080 at KRKIN:2", "changed KRKIN:2 at KRKIN:2"}));
    EXPECT_EQ(where(), "KSKMKCD:2");
}

TEST_F(VoucherGridTest, CellValueHandlerMayReplaceTheValue) {
    QObject::connect(&grid, &VoucherGrid::CellValue, [](QString& v) { v = v + "0"; });
    at("KRKMKCD", 0);
    typeText("12");
    press(Qt::Key_Tab);
    EXPECT_EQ(grid.Cell("KRKMKCD", 0), "120");
}

TEST_F(VoucherGridTest, ConfirmingAnUnchangedValueRaisesCellValueOnlyAndKeepsWhatTheHandlerWrote) {
    grid.setCell("KRKIN", 0, "1000");
    at("KRKIN", 0);
    // A handler that recomputes the amount when it is confirmed unchanged.
    QObject::connect(&grid, &VoucherGrid::CellValue, [this](QString& v) {
        if (v == grid.Cell("KRKIN", 0)) grid.setCell("KRKIN", 0, "926");
    });
    press(Qt::Key_F2);
    ASSERT_TRUE(grid.CellEditing());
    EXPECT_EQ(grid.editor()->text(), "1000");
    press(Qt::Key_Return);
    EXPECT_EQ(rec.values, QStringList{"1000"});
    EXPECT_EQ(rec.changed, QStringList{"KRKIN:0"});  // the handler's write only
    EXPECT_EQ(grid.Cell("KRKIN", 0), "926");
}

TEST_F(VoucherGridTest, EscapeCancelsAnEditWithoutEvents) {
    grid.setCell("KRTEKI", 0, "old");
    at("KRTEKI", 0);
    typeText("new");
    press(Qt::Key_Escape);
    EXPECT_FALSE(grid.CellEditing());
    EXPECT_EQ(grid.Cell("KRTEKI", 0), "old");
    EXPECT_TRUE(rec.values.isEmpty());
    EXPECT_TRUE(rec.changed.isEmpty());
    EXPECT_EQ(where(), "KRTEKI:0");
}

TEST_F(VoucherGridTest, NumericCellsTakeDigitsSignAndPointOnlyTextCellsTakeJapanese) {
    at("KRKMKCD", 0);
    typeText("a");
    EXPECT_FALSE(grid.CellEditing());
    typeText("-1.5x");
    press(Qt::Key_Return);
    EXPECT_EQ(grid.Cell("KRKMKCD", 0), "-1.5");

    at("KRTEKI", 0);
    typeText("摘要 A1");
    press(Qt::Key_Return);
    EXPECT_EQ(grid.Cell("KRTEKI", 0), "摘要 A1");
}

TEST_F(VoucherGridTest, InputMethodIsOfferedOnTextCellsNotOnNumberCells) {
    at("KRTEKI", 0);
    EXPECT_TRUE(grid.view()->testAttribute(Qt::WA_InputMethodEnabled));
    typeText("x");
    EXPECT_TRUE(grid.editor()->testAttribute(Qt::WA_InputMethodEnabled));
    press(Qt::Key_Escape);
    at("KRKIN", 0);
    EXPECT_FALSE(grid.view()->testAttribute(Qt::WA_InputMethodEnabled));

    // A composed text committed by the input method starts the edit.
    at("KSTEKI", 1);
    QInputMethodEvent ime(QString(), {});
    ime.setCommitString("家賃");
    QApplication::sendEvent(grid.view(), &ime);
    ASSERT_TRUE(grid.CellEditing());
    press(Qt::Key_Return);
    EXPECT_EQ(grid.Cell("KSTEKI", 1), "家賃");
}

TEST_F(VoucherGridTest, MovingTheCursorByProgramOrEndingTheEditCommitsIt) {
    at("KRKMKCD", 0);
    typeText("101");
    grid.setCurrentKey("KSKMKCD");
    EXPECT_EQ(grid.Cell("KRKMKCD", 0), "101");
    EXPECT_EQ(rec.changed, QStringList{"KRKMKCD:0"});

    typeText("202");
    grid.setCellEditing(false);
    EXPECT_FALSE(grid.CellEditing());
    EXPECT_EQ(grid.Cell("KSKMKCD", 0), "202");
    EXPECT_EQ(where(), "KSKMKCD:0");
}

TEST_F(VoucherGridTest, DeleteEmptiesTheCellAndNameCellsAreNotEdited) {
    grid.setCell("KRKMKCD", 0, "100");
    at("KRKMKCD", 0);
    press(Qt::Key_Delete);
    EXPECT_EQ(grid.Cell("KRKMKCD", 0), "");
    EXPECT_EQ(rec.changed, QStringList{"KRKMKCD:0"});

    grid.setCurrentKey("KRKMKNM");  // the program may put the cursor on a name
    typeText("x");
    press(Qt::Key_F2);
    EXPECT_FALSE(grid.CellEditing());
}

TEST_F(VoucherGridTest, EditLockThreeRefusesEveryEditButTheCursorStillMoves) {
    grid.setCell("KRKIN", 0, "5");
    grid.setEditLock(3);
    at("KRKIN", 0);
    typeText("9");
    press(Qt::Key_F2);
    press(Qt::Key_Delete);
    grid.setCellEditing(true);
    EXPECT_FALSE(grid.CellEditing());
    EXPECT_EQ(grid.Cell("KRKIN", 0), "5");
    EXPECT_EQ(rec.beginEdits, 0);
    press(Qt::Key_Down);
    EXPECT_EQ(where(), "KRTAX:0");

    grid.setEditLock(0);
    typeText("7");
    EXPECT_TRUE(grid.CellEditing());
}

TEST_F(VoucherGridTest, DisabledGridTakesNoInput) {
    at("KRKIN", 0);
    grid.setGridEnabled(false);
    EXPECT_FALSE(grid.GridEnabled());
    typeText("9");
    EXPECT_FALSE(grid.CellEditing());
    EXPECT_FALSE(grid.view()->isEnabled());
    grid.setGridEnabled(true);
    EXPECT_TRUE(grid.view()->isEnabled());
}

// ---------------------------------------------------------------------------
// KeyDown and KeyPress come first

TEST_F(VoucherGridTest, KeyDownSetToZeroSwallowsTheKey) {
    QList<int> seen;
    QObject::connect(&grid, &VoucherGrid::KeyDown, [&](int& code, int& shift) {
        seen << code * 10 + shift;
        code = 0;
    });
    at("KRKMKCD", 0);
    press(Qt::Key_Down);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    typeText("5");
    press(Qt::Key_F2);
    EXPECT_EQ(where(), "KRKMKCD:0");
    EXPECT_FALSE(grid.CellEditing());
    EXPECT_EQ(rec.keyPresses, 0);
    EXPECT_EQ(seen, (QList<int>{vbKeyDown * 10, vbKeyTab * 10 + vbShiftMask, vbKey0 * 10 + 50, vbKeyF2 * 10}));
}

TEST_F(VoucherGridTest, KeyDownArrivesWhileEditingBeforeTheGridActs) {
    // A window handler that takes Tab itself and moves to the credit account.
    QString editingSeen;
    QObject::connect(&grid, &VoucherGrid::KeyDown, [&](int& code, int&) {
        if (code != vbKeyTab) return;
        editingSeen = grid.CellEditing() ? "editing " + where() : "idle";
        code = 0;
        grid.setCurrentKey("KSKMKCD");
    });
    at("KRKMKCD", 4);
    typeText("300");
    press(Qt::Key_Tab);
    EXPECT_EQ(editingSeen, "editing KRKMKCD:4");
    EXPECT_EQ(grid.Cell("KRKMKCD", 4), "300");
    EXPECT_EQ(rec.changed, QStringList{"KRKMKCD:4"});
    EXPECT_EQ(where(), "KSKMKCD:4");
}

TEST_F(VoucherGridTest, KeyPressSetToZeroSwallowsTheCharacter) {
    QObject::connect(&grid, &VoucherGrid::KeyPress, [](int& ch) {
        if (ch == ' ') ch = 0;
    });
    at("KRTEKI", 0);
    typeText(" ");
    EXPECT_FALSE(grid.CellEditing());
    typeText("a b");
    press(Qt::Key_Return);
    EXPECT_EQ(grid.Cell("KRTEKI", 0), "ab");
}

TEST(VoucherGridKeyCodes, QtKeysConvertToVirtualKeyNumbers) {
    EXPECT_EQ(VbKeyCode(Qt::Key_F10), vbKeyF10);
    EXPECT_EQ(vbKeyF10, 121);
    EXPECT_EQ(VbKeyCode(Qt::Key_F5), 116);
    EXPECT_EQ(VbKeyCode(Qt::Key_Backtab), vbKeyTab);
    EXPECT_EQ(VbKeyCode(Qt::Key_Enter), vbKeyReturn);
    EXPECT_EQ(VbKeyCode(Qt::Key_Insert), 45);
    EXPECT_EQ(VbKeyCode(Qt::Key_Delete), 46);
    EXPECT_EQ(VbKeyCode(Qt::Key_7), '7');
    EXPECT_EQ(VbKeyCode(Qt::Key_7, Qt::KeypadModifier), vbKeyNumpad0 + 7);
    EXPECT_EQ(VbKeyCode(Qt::Key_Q), 'Q');
    EXPECT_EQ(VbShiftState(Qt::ShiftModifier | Qt::AltModifier), vbShiftMask | vbAltMask);
    QKeyEvent ctrlC(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    EXPECT_EQ(VbKeyAscii(&ctrlC), 0);
    QKeyEvent kana(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("あ"));
    EXPECT_EQ(VbKeyAscii(&kana), 0x3042);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_EQ(VbKeyAscii(&enter), vbKeyReturn);
}

// ---------------------------------------------------------------------------
// The grid's own moves on the four-line layout

TEST_F(VoucherGridTest, UpAndDownPassOverNameCellsAndCrossRowBlocks) {
    struct Move { const char* from; int row; Qt::Key key; const char* to; };
    const Move moves[] = {
        {"KRKMKCD", 0, Qt::Key_Down, "KRTRICD:0"},
        {"KRHK1CD", 0, Qt::Key_Down, "KRTEKI:0"},
        {"KRKIN", 0, Qt::Key_Down, "KRTAX:0"},
        {"KSTRICD", 0, Qt::Key_Down, "KSTEKI:0"},
        {"KRTEKI", 0, Qt::Key_Down, "KRKMKCD:1"},
        {"KRTRICD", 1, Qt::Key_Up, "KRKMKCD:1"},
        {"KRTEKI", 1, Qt::Key_Up, "KRTRICD:1"},
        {"KSKIN", 1, Qt::Key_Up, "KSTEKI:0"},
        {"KRKMKCD", 0, Qt::Key_Up, "KRKMKCD:0"},
        {"KSTEKI", 49, Qt::Key_Down, "KSTEKI:49"},
    };
    for (const auto& m : moves) {
        at(m.from, m.row);
        press(m.key);
        EXPECT_EQ(where(), m.to) << m.from << " row " << m.row;
    }
}

TEST_F(VoucherGridTest, LeftRightAndTabFollowTheLinesAndWrap) {
    struct Move { const char* from; int row; Qt::Key key; Qt::KeyboardModifiers mod; const char* to; };
    const Move moves[] = {
        {"KRKIN", 0, Qt::Key_Right, {}, "KSKMKCD:0"},
        {"KSKIN", 0, Qt::Key_Right, {}, "KRTAX:0"},    // end of line 1 -> debit tax
        {"KRTAX", 0, Qt::Key_Right, {}, "KSTAX:0"},    // over the credit names
        {"KSTAX", 0, Qt::Key_Right, {}, "KRTRICD:0"},
        {"KSTRICD", 0, Qt::Key_Right, {}, "KRTEKI:0"},
        {"KSTEKI", 0, Qt::Key_Right, {}, "KRKMKCD:1"},
        {"KRKMKNM", 0, Qt::Key_Right, {}, "KRTAX:0"},  // from a name the cursor was put on
        {"KRTAX", 0, Qt::Key_Left, {}, "KSKIN:0"},
        {"KRKMKCD", 1, Qt::Key_Left, {}, "KSTEKI:0"},
        {"KRKMKCD", 0, Qt::Key_Left, {}, "KRKMKCD:0"},
        {"KSTEKI", 49, Qt::Key_Right, {}, "KSTEKI:49"},
        {"KSKIN", 3, Qt::Key_Tab, {}, "KRTAX:3"},
        {"KSTEKI", 3, Qt::Key_Return, {}, "KRKMKCD:4"},
        {"KRKMKCD", 4, Qt::Key_Backtab, Qt::ShiftModifier, "KSTEKI:3"},
        {"KRHK2CD", 5, Qt::Key_Home, {}, "KRKMKCD:5"},
        {"KRHK2CD", 5, Qt::Key_End, Qt::ControlModifier, "KSTEKI:49"},
    };
    for (const auto& m : moves) {
        at(m.from, m.row);
        press(m.key, m.mod);
        EXPECT_EQ(where(), m.to) << m.from << " row " << m.row;
    }
}

TEST_F(VoucherGridTest, CellEnterIsRaisedForEachCellEnteredAndUnknownKeysLeaveTheCursor) {
    at("KRKMKCD", 0);
    press(Qt::Key_Down);
    grid.setCurrentKey("KRTEKI");
    grid.setCurrentKey("KRTEKI");  // already there
    grid.setCurrentKey("");
    grid.setCurrentKey("NOSUCHKEY");
    grid.setCurrentRow(70);
    EXPECT_EQ(rec.entered, (QStringList{"KRTRICD", "KRTEKI", "KRTEKI"}));
    EXPECT_EQ(where(), "KRTEKI:49");
}

TEST_F(VoucherGridTest, TypedArrowsLeaveTheCellButF2ArrowsMoveInTheText) {
    at("KRTEKI", 0);
    typeText("ab");
    press(Qt::Key_Left);
    EXPECT_EQ(where(), "KSTRICD:0");  // end of the line above
    EXPECT_EQ(grid.Cell("KRTEKI", 0), "ab");

    grid.setCurrentKey("KRTEKI");
    press(Qt::Key_F2);
    press(Qt::Key_Left);
    typeText("X");
    ASSERT_TRUE(grid.CellEditing());
    EXPECT_EQ(grid.editor()->text(), "aXb");
    press(Qt::Key_Up);
    EXPECT_EQ(grid.Cell("KRTEKI", 0), "aXb");
    EXPECT_EQ(where(), "KRTRICD:0");
}

// ---------------------------------------------------------------------------
// Rows

TEST_F(VoucherGridTest, InsertRowShiftsRowsDownAndTheLastRowDropsOut) {
    for (int r = 0; r < 50; ++r) grid.setCell("KRKMKCD", r, QString::number(100 + r));
    at("KRKIN", 10);
    grid.InsertRow();
    EXPECT_EQ(grid.Cell("KRKMKCD", 9), "109");
    EXPECT_EQ(grid.Cell("KRKMKCD", 10), "");
    EXPECT_EQ(grid.Cell("KRKMKCD", 11), "110");
    EXPECT_EQ(grid.Cell("KRKMKCD", 49), "148");  // 149 dropped out
    EXPECT_EQ(grid.Rows(), 50);
    EXPECT_TRUE(rec.changed.isEmpty());
}

TEST_F(VoucherGridTest, DeleteRowShiftsRowsUpAndAppendsAnEmptyRow) {
    for (int r = 0; r < 50; ++r) grid.setCell("KSTEKI", r, QString("t%1").arg(r));
    at("KSTEKI", 48);
    grid.DeleteRow();
    EXPECT_EQ(grid.Cell("KSTEKI", 47), "t47");
    EXPECT_EQ(grid.Cell("KSTEKI", 48), "t49");
    EXPECT_EQ(grid.Cell("KSTEKI", 49), "");
    at("KSTEKI", 0);
    grid.DeleteRow();
    EXPECT_EQ(grid.Cell("KSTEKI", 0), "t1");
    EXPECT_EQ(grid.Rows(), 50);
}

TEST_F(VoucherGridTest, RowCountIsTheLastRowInUsePlusOne) {
    EXPECT_EQ(grid.RowCount(), 0);
    grid.setCell("KSTEKI", 6, "x");
    grid.setCell("KRKIN", 2, "1");
    EXPECT_EQ(grid.RowCount(), 7);
    grid.setCell("KSTEKI", 6, "");
    EXPECT_EQ(grid.RowCount(), 3);
    grid.ClearCells();
    EXPECT_EQ(grid.RowCount(), 0);
    EXPECT_EQ(grid.Cell("KRKIN", 2), "");
}

TEST_F(VoucherGridTest, SetRowsKeepsTheRowsThatRemain) {
    grid.setCell("KRKIN", 1, "5");
    grid.setCell("KRKIN", 40, "6");
    grid.setRows(10);
    EXPECT_EQ(grid.Rows(), 10);
    EXPECT_EQ(grid.Cell("KRKIN", 1), "5");
    grid.setRows(50);
    EXPECT_EQ(grid.Cell("KRKIN", 40), "");
    EXPECT_EQ(grid.view()->model()->rowCount(), 200);
}

TEST_F(VoucherGridTest, FillingEveryCellWithDrawingOffIsQuickAndStillRaisesEvents) {
    QElapsedTimer t;
    t.start();
    grid.setRedraw(false);
    const auto& cells = grid.GridLayout().cells;
    for (int r = 0; r < 50; ++r)
        for (const auto& c : cells) grid.setCell(c.key, r, QString::number(r * 100 + 1));
    grid.setRedraw(true);
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(rec.changed.size(), 50 * static_cast<int>(cells.size()));
    EXPECT_EQ(grid.DisplayText("KSKIN", 49), "4,901");
}

TEST_F(VoucherGridTest, FillRowsStoresWholeRowsInCellOrderWithoutEventsAndShowsThem) {
    const int kin = grid.CellIndex("KRKIN");
    const int teki = grid.CellIndex("KSTEKI");
    ASSERT_GE(kin, 0);
    ASSERT_GE(teki, 0);
    EXPECT_EQ(grid.CellIndex("NOSUCHKEY"), -1);
    EXPECT_EQ(grid.GridLayout().cells[kin].key, "KRKIN");
    grid.setCell("KSKIN", 2, "old");
    grid.setCell("KRKIN", 4, "kept");
    rec = Recorded();
    const int cells = static_cast<int>(grid.GridLayout().cells.size());
    std::vector<QStringList> rows(3);
    for (auto& r : rows) r = QStringList(cells);
    rows[0][kin] = "1234567";
    rows[1][teki] = "家賃";
    rows[2] = QStringList{"100"};  // the first cell only; the rest empty
    // A cell being edited is given up for the values filled.
    at("KRKIN", 1);
    grid.setCellEditing(true);
    ASSERT_NE(grid.editor(), nullptr);
    grid.setRedraw(false);
    grid.FillRows(1, std::move(rows));
    EXPECT_EQ(grid.editor(), nullptr);
    grid.setRedraw(true);
    EXPECT_TRUE(rec.changed.isEmpty());
    EXPECT_EQ(grid.Cell("KRKIN", 1), "1234567");
    EXPECT_EQ(grid.DisplayText("KRKIN", 1), "1,234,567");
    EXPECT_EQ(grid.view()->model()->index(4, 4).data(Qt::DisplayRole).toString(), "1,234,567");
    EXPECT_EQ(grid.Cell("KSTEKI", 2), "家賃");
    EXPECT_EQ(grid.Cell("KSKIN", 2), "");
    EXPECT_EQ(grid.Cell(grid.GridLayout().cells[0].key, 3), "100");
    EXPECT_EQ(grid.Cell("KSTEKI", 3), "");
    EXPECT_EQ(grid.Cell("KRKIN", 4), "kept");
    // Rows beyond the grid are left out.
    std::vector<QStringList> tail(3, QStringList(cells, QStringLiteral("9")));
    grid.FillRows(grid.Rows() - 1, std::move(tail));
    EXPECT_EQ(grid.Rows(), 50);
    EXPECT_EQ(grid.Cell("KSTEKI", 49), "9");
    EXPECT_EQ(grid.RowCount(), 50);
    EXPECT_TRUE(rec.changed.isEmpty());
    // Emptied again, every cell reads empty.
    grid.ClearCells();
    EXPECT_EQ(grid.RowCount(), 0);
}

// ---------------------------------------------------------------------------
// Footer, sections, mouse

TEST_F(VoucherGridTest, TotalsAreStoredRawAndShownFormattedUnderTheirColumns) {
    grid.setTotal("1234500", "GKRKIN");
    grid.setTotal(Currency::FromWhole(-7000), "GKSKIN");
    EXPECT_EQ(grid.Total("GKRKIN"), "1234500");
    EXPECT_EQ(grid.Total("GKSKIN"), "-7000");
    auto* kr = grid.findChild<QLabel*>("GKRKIN");
    auto* ks = grid.findChild<QLabel*>("GKSKIN");
    ASSERT_TRUE(kr && ks);
    EXPECT_EQ(kr->text(), "1,234,500");
    EXPECT_EQ(ks->text(), "-7,000");
    // The credit total stands to the right of the debit total.
    EXPECT_GT(ks->mapTo(&grid, QPoint()).x(), kr->mapTo(&grid, QPoint()).x());
    grid.Clear();
    EXPECT_EQ(grid.Total("GKRKIN"), "");
}

TEST_F(VoucherGridTest, RowNumberCaptionAndSettingsAreKept) {
    QAbstractItemModel* m = grid.view()->model();
    EXPECT_EQ(m->headerData(0, Qt::Vertical).toString(), "1");
    EXPECT_EQ(m->headerData(4 * 7, Qt::Vertical).toString(), "8");
    EXPECT_EQ(m->headerData(1, Qt::Vertical).toString(), "");
    grid.setSectionItemText(0, 0, "No.%n%");
    EXPECT_EQ(m->headerData(4, Qt::Vertical).toString(), "No.2");
    grid.setColumnDef("KRTEKI", 4, 0);
    EXPECT_EQ(grid.ColumnDef("KRTEKI", 4), 0);
    grid.setColumnDef("KSTEKI", 4, 2);
    EXPECT_EQ(grid.ColumnDef("KSTEKI", 4), 2);
    grid.setClearMode(1);
    grid.setInitFlag(false);
    EXPECT_EQ(grid.ClearMode(), 1);
    EXPECT_FALSE(grid.InitFlag());
}

TEST_F(VoucherGridTest, DoubleClickMovesTheCursorAndRaisesRowDblClick) {
    QTableView* v = grid.view();
    QModelIndex idx = v->model()->index(1 * 4 + 3, 5);  // row 1, credit description
    QRect r = v->visualRect(idx);
    const QPoint pos = r.center();
    const QPoint global = v->viewport()->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v->viewport(), &press);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, pos, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v->viewport(), &dbl);
    EXPECT_EQ(rec.doubleClicks, 1);
    EXPECT_EQ(where(), "KSTEKI:1");
}

TEST(VoucherGridInquiry, OneLineRowsWithReadOnlyCellsAndAFooter) {
    VoucherGrid g;
    g.SetGridLayout(InquiryLayout());
    g.setRows(3);
    g.setCell("DATA_KARI", 2, "5000");
    g.setCell("DATA_KARI", 1, "0");
    EXPECT_EQ(g.DisplayText("DATA_KARI", 2), "5,000");
    EXPECT_EQ(g.DisplayText("DATA_KARI", 1), "");
    g.setCurrentRow(2);
    g.setCellEditing(true);
    EXPECT_FALSE(g.CellEditing());
    g.setTotal("5000", "FOOT_KARI");
    EXPECT_EQ(g.findChild<QLabel*>("FOOT_KARI")->text(), "5,000");
    g.Clear();
    EXPECT_EQ(g.Cell("DATA_KARI", 2), "");
    EXPECT_EQ(g.view()->model()->rowCount(), 3);
}

// A long list appended in bulk (the journal's) takes little more heap than
// its own text, and every cell still reads and writes as before.
TEST(VoucherGridInquiry, ManyAppendedRowsTakeLittleMoreThanTheirText) {
    VoucherGrid g;
    g.SetGridLayout(InquiryLayout());
    const int kRows = 100000;
#ifdef __GLIBC__
    // Small pieces and the large blocks the allocator maps apart.
    auto heap = [] {
        const struct mallinfo2 m = mallinfo2();
        return static_cast<qint64>(m.uordblks + m.hblkhd);
    };
    const qint64 before = heap();
#endif
    std::vector<QStringList> rows;
    qint64 text = 0;
    for (int r = 0; r < kRows; ++r) {
        rows.push_back({"2026/04/01", QString::number(r + 1), QString::number(1000 + r), "売上入金 " + QString::number(r)});
        for (const QString& v : rows.back()) text += v.toUtf8().size();
    }
#ifdef __GLIBC__
    g.AppendRows(std::move(rows));
    const qint64 grown = heap() - before;
    EXPECT_LT(grown, 2 * text);
#else
    g.AppendRows(std::move(rows));
#endif
    ASSERT_EQ(g.Rows(), kRows);
    EXPECT_EQ(g.Cell("DATA_TEKIYO", 123), "売上入金 123");
    EXPECT_EQ(g.DisplayText("DATA_KARI", kRows - 1), "100,999");
    g.setCell("DATA_KARI", 5, "7");
    EXPECT_EQ(g.Cell("DATA_KARI", 5), "7");
    EXPECT_EQ(g.Cell("DATA_TEKIYO", 5), "売上入金 5");
    EXPECT_EQ(g.Cell("DATA_DENNO", 6), "7");
}

// ---------------------------------------------------------------------------
// Accessibility

TEST_F(VoucherGridTest, AssistiveTechnologyReadsEveryCellAndTheCurrentCell) {
    grid.setCell("KRKIN", 1, "1080");
    grid.setCell("KRTEKI", 1, "交通費");
    at("KRKIN", 1);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(grid.view());
    ASSERT_NE(iface, nullptr);
    QAccessibleTableInterface* table = iface->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 200);
    EXPECT_EQ(table->columnCount(), 10);
    QAccessibleInterface* amount = table->cellAt(1 * 4, 4);
    ASSERT_NE(amount, nullptr);
    EXPECT_EQ(amount->text(QAccessible::Name), "1,080");
    QAccessibleInterface* teki = table->cellAt(1 * 4 + 3, 0);
    ASSERT_NE(teki, nullptr);
    EXPECT_EQ(teki->text(QAccessible::Name), "交通費");
    const QList<QAccessibleInterface*> current = table->selectedCells();
    ASSERT_EQ(current.size(), 1);
    EXPECT_EQ(current.front()->text(QAccessible::Name), "1,080");
}

}  // namespace
