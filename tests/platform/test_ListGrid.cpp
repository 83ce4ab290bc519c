#include "platform/ListGrid.h"

#include "platform/KeyCodes.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableView>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Addresses the block rows r1..r2, columns c1..c2.
void SetBlock(ListGrid& g, int r1, int c1, int r2, int c2) {
    g.setRow(r1);
    g.setCol(c1);
    g.setRow2(r2);
    g.setCol2(c2);
}

QString CellAt(ListGrid& g, int row, int col) {
    g.setRow(row);
    g.setCol(col);
    return g.Text();
}

QString Shown(ListGrid& g, int row, int col) {
    QAbstractItemModel* m = g.view()->model();
    return m->data(m->index(row - 1, col - 1), Qt::DisplayRole).toString();
}

void Press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}

void DoubleClickAt(QWidget* w, const QPoint& pos) {
    const QPointF p(pos), g(w->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &dbl);
    QMouseEvent release2(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release2);
}

// A list laid out as the voucher list lays out its nine columns.
std::unique_ptr<ListGrid> VoucherLikeList() {
    auto g = std::make_unique<ListGrid>();
    g->setMaxCols(9);
    g->setColHidden(1, true);
    g->setColHidden(2, true);
    g->setColKind(3, ListGrid::CellKind::Date);
    g->setColKind(6, ListGrid::CellKind::Amount);
    g->setColKind(7, ListGrid::CellKind::Date);
    return g;
}

// Fills rows the way the voucher list does: one Clip per row, drawing off.
void FillRows(ListGrid& g, const QStringList& rows) {
    g.setMaxRows(static_cast<int>(rows.size()));
    g.setBlockMode(true);
    g.setReDraw(false);
    for (int r = 1; r <= rows.size(); ++r) {
        SetBlock(g, r, 1, r, g.MaxCols());
        g.setClip(rows[r - 1]);
    }
    g.setReDraw(true);
    g.setBlockMode(false);
}

QString VoucherRow(int n) {
    return QStringList{"2024", "202404", QString::number(20240400 + n % 28 + 1), QString::number(n),
                       QString("摘要%1").arg(n), QString::number(n * 1000), "20240501", "山田", n % 2 ? "○" : ""}
        .join('\t');
}

std::unique_ptr<ListGrid> ListOfRows(int rows) {
    auto g = VoucherLikeList();
    QStringList data;
    for (int i = 1; i <= rows; ++i) data << VoucherRow(i);
    FillRows(*g, data);
    g->resize(600, 300);
    g->show();
    return g;
}

class KeyCounter : public QWidget {
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        ++keys;
        QWidget::keyPressEvent(e);
    }
};

}  // namespace

// --- Clip and Text ---------------------------------------------------------

TEST(ListGridClip, BlockTextRoundTripsWithTabsAndLineBreaks) {
    ListGrid g;
    g.setMaxCols(3);
    g.setMaxRows(3);
    SetBlock(g, 1, 1, 3, 3);
    g.setClip("a\tb\tc\r\nd\te\tf\rg\th\ti");
    EXPECT_EQ(g.Clip(), "a\tb\tc\r\nd\te\tf\r\ng\th\ti");
    EXPECT_EQ(CellAt(g, 2, 3), "f");
    EXPECT_EQ(CellAt(g, 3, 1), "g");

    SetBlock(g, 2, 1, 3, 3);
    g.setClip("x\t\tz\n");
    EXPECT_EQ(g.Clip(), "x\t\tz\r\ng\th\ti") << "a closing line break must not touch the next row";
}

TEST(ListGridClip, WritesOnlyInsideTheBlockAndKeepsCellsTheTextDoesNotReach) {
    ListGrid g;
    g.setMaxCols(4);
    g.setMaxRows(3);
    SetBlock(g, 1, 1, 3, 4);
    g.setClip("1\t2\t3\t4\r\n5\t6\t7\t8\r\n9\t10\t11\t12");

    SetBlock(g, 2, 2, 2, 3);
    g.setClip("x\ty\tz\r\nw");
    SetBlock(g, 1, 1, 3, 4);
    EXPECT_EQ(g.Clip(), "1\t2\t3\t4\r\n5\tx\ty\t8\r\n9\t10\t11\t12");

    SetBlock(g, 3, 1, 3, 4);
    g.setClip("a\tb");
    EXPECT_EQ(g.Clip(), "a\tb\t11\t12");
}

TEST(ListGridClip, SetRowsKeepsEveryRowAsClipWouldAndTheCursorOnItsRow) {
    const QStringList rows = {VoucherRow(1), " 2024\t202404\t 2024/3/5 \t7\tx" + QString(QChar(0)) + "y\t\t2024-05-01",
                              VoucherRow(3) + "\tbeyond\tthe columns", "\t\t\t\t", "a\t\t\t\t\t\t\t\t\t"};
    auto byClip = VoucherLikeList();
    FillRows(*byClip, rows);
    auto whole = VoucherLikeList();
    FillRows(*whole, {VoucherRow(7), VoucherRow(8)});
    whole->setActiveRow(2);
    whole->SetRows(std::vector<QString>(rows.begin(), rows.end()));
    // A column added later finds nothing of the cells beyond the columns.
    byClip->setMaxCols(10);
    whole->setMaxCols(10);
    SetBlock(*byClip, -1, -1, -1, -1);
    SetBlock(*whole, -1, -1, -1, -1);
    EXPECT_EQ(whole->Clip(), byClip->Clip());
    EXPECT_EQ(whole->ActiveRow(), 2);
    whole->SetRows({VoucherRow(9)});
    EXPECT_EQ(whole->MaxRows(), 1);
    EXPECT_EQ(whole->ActiveRow(), 1);
}

TEST(ListGridText, AddressesOneCellInBlockModeTheBlockAndInRowZeroTheCaption) {
    ListGrid g;
    g.setMaxCols(3);
    g.setMaxRows(3);
    g.setRow(2);
    g.setCol(3);
    g.setText("one");
    EXPECT_EQ(g.Text(), "one");
    SetBlock(g, 1, 1, 2, 2);
    g.setBlockMode(true);
    g.setText("all");
    g.setBlockMode(false);
    SetBlock(g, 1, 1, 3, 3);
    EXPECT_EQ(g.Clip(), "all\tall\t\r\nall\tall\tone\r\n\t\t");

    g.setRow(0);
    g.setCol(2);
    g.setText("伝票番号");
    EXPECT_EQ(g.view()->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "伝票番号");
    EXPECT_EQ(CellAt(g, 0, 2), "伝票番号");
    EXPECT_EQ(CellAt(g, 4, 1), "") << "a row past the end reads empty";
}

// --- Column kinds ----------------------------------------------------------

TEST(ListGridColumns, DateColumnShowsTheDateButTextGivesTheNumber) {
    auto g = VoucherLikeList();
    FillRows(*g, {VoucherRow(1)});
    SetBlock(*g, 1, 3, 1, 3);
    g->setClip("20240315");
    EXPECT_EQ(Shown(*g, 1, 3), "2024/03/15");
    EXPECT_EQ(CellAt(*g, 1, 3), "20240315");
    EXPECT_EQ(Shown(*g, 1, 7), "2024/05/01");

    g->setRow(1);
    g->setCol(3);
    g->setText("2024/3/5");
    EXPECT_EQ(g->Text(), "20240305") << "a date text is kept as its yyyymmdd number";
    EXPECT_EQ(Shown(*g, 1, 3), "2024/03/05");
}

TEST(ListGridColumns, AmountColumnShowsSeparatorsAndTextGivesTheValueAsSet) {
    auto g = VoucherLikeList();
    FillRows(*g, {VoucherRow(1), VoucherRow(2), VoucherRow(3)});
    const QStringList values{"1234567", "-1000", "0"};
    const QStringList shown{"1,234,567", "-1,000", "0"};
    for (int r = 1; r <= 3; ++r) {
        g->setRow(r);
        g->setCol(6);
        g->setText(values[r - 1]);
    }
    for (int r = 1; r <= 3; ++r) {
        EXPECT_EQ(Shown(*g, r, 6), shown[r - 1]);
        EXPECT_EQ(CellAt(*g, r, 6), values[r - 1]);
    }
    EXPECT_TRUE(g->ColAlignment(6) & Qt::AlignRight);
    QAbstractItemModel* m = g->view()->model();
    EXPECT_TRUE(m->data(m->index(0, 5), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
}

TEST(ListGridColumns, HiddenColumnsAreNotShownButKeepTheirValues) {
    auto g = VoucherLikeList();
    FillRows(*g, {VoucherRow(7)});
    EXPECT_TRUE(g->view()->isColumnHidden(0));
    EXPECT_TRUE(g->view()->isColumnHidden(1));
    EXPECT_FALSE(g->view()->isColumnHidden(2));
    EXPECT_EQ(CellAt(*g, 1, 1), "2024");
    EXPECT_EQ(CellAt(*g, 1, 2), "202404");
    SetBlock(*g, 1, 1, 1, 9);
    EXPECT_EQ(g->Clip(), VoucherRow(7));

}

TEST(ListGridColumns, OddAndEvenRowsTakeTheirOwnColours) {
    ListGrid g;
    g.setMaxCols(1);
    g.setMaxRows(3);
    const QColor back1(Qt::white), fore1(Qt::black), back2(255, 252, 185), fore2(0, 0, 128);
    g.SetOddEvenRowColor(back1, fore1, back2, fore2);
    QAbstractItemModel* m = g.view()->model();
    EXPECT_EQ(m->data(m->index(0, 0), Qt::BackgroundRole).value<QColor>(), back1);
    EXPECT_EQ(m->data(m->index(0, 0), Qt::ForegroundRole).value<QColor>(), fore1);
    EXPECT_EQ(m->data(m->index(1, 0), Qt::BackgroundRole).value<QColor>(), back2);
    EXPECT_EQ(m->data(m->index(1, 0), Qt::ForegroundRole).value<QColor>(), fore2);
    EXPECT_EQ(m->data(m->index(2, 0), Qt::BackgroundRole).value<QColor>(), back1);
}

// --- Size ------------------------------------------------------------------

TEST(ListGridSize, ShrinkingDropsTheLastRowsAndGrowingAddsEmptyOnes) {
    auto g = VoucherLikeList();
    FillRows(*g, {VoucherRow(1), VoucherRow(2), VoucherRow(3)});
    g->setMaxRows(2);
    EXPECT_EQ(g->MaxRows(), 2);
    EXPECT_EQ(g->view()->model()->rowCount(), 2);
    EXPECT_EQ(CellAt(*g, 3, 4), "");
    g->setMaxRows(4);
    EXPECT_EQ(CellAt(*g, 2, 4), "2");
    EXPECT_EQ(CellAt(*g, 3, 4), "") << "a row dropped and added again comes back empty";
    EXPECT_EQ(CellAt(*g, 4, 4), "");
    g->setMaxRows(0);
    EXPECT_EQ(g->MaxRows(), 0);
    SetBlock(*g, 1, 1, 1, 9);
    EXPECT_EQ(g->Clip(), "");
}

// --- Cursor and keyboard -----------------------------------------------------

TEST(ListGridCursor, ActiveRowIsZeroWithoutRowsAndOneOnceRowsArrive) {
    auto g = VoucherLikeList();
    EXPECT_EQ(g->ActiveRow(), 0);
    FillRows(*g, {VoucherRow(1), VoucherRow(2)});
    EXPECT_EQ(g->ActiveRow(), 1);
    EXPECT_GE(g->ActiveCol(), 3) << "the cursor starts on the first shown column";
    g->setActiveRow(2);
    g->setMaxRows(1);
    EXPECT_EQ(g->ActiveRow(), 1) << "a cursor below the last row moves up to it";
    g->setMaxRows(0);
    EXPECT_LT(g->ActiveRow(), 1);
}

TEST(ListGridCursor, ActiveRowFollowsArrowPageHomeAndEndKeys) {
    auto g = ListOfRows(100);
    QTableView* v = g->view();
    g->SetFocus();
    ASSERT_EQ(g->ActiveRow(), 1);
    Press(v, Qt::Key_Down);
    Press(v, Qt::Key_Down);
    EXPECT_EQ(g->ActiveRow(), 3);
    Press(v, Qt::Key_Up);
    EXPECT_EQ(g->ActiveRow(), 2);
    Press(v, Qt::Key_End);
    EXPECT_EQ(g->ActiveRow(), 100);
    Press(v, Qt::Key_Home);
    EXPECT_EQ(g->ActiveRow(), 1);
    Press(v, Qt::Key_PageDown);
    const int afterPage = g->ActiveRow();
    EXPECT_GT(afterPage, 2);
    Press(v, Qt::Key_PageUp);
    EXPECT_LT(g->ActiveRow(), afterPage);
    const int row = g->ActiveRow();
    Press(v, Qt::Key_Right);
    EXPECT_EQ(g->ActiveRow(), row) << "moving sideways keeps the row";
    const QModelIndexList selected = v->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].row() + 1, row) << "the whole active row is selected";
}

TEST(ListGridKeys, KeyDownGivesWindowsKeyCodesAndShiftMask) {
    auto g = ListOfRows(3);
    std::vector<std::pair<int, int>> seen;
    QObject::connect(&*g, &ListGrid::KeyDown, [&](int& code, int& shift) { seen.emplace_back(code, shift); });
    Press(g->view(), Qt::Key_Return);
    Press(g->view(), Qt::Key_Enter, Qt::KeypadModifier);
    Press(g->view(), Qt::Key_Down, Qt::ShiftModifier);
    Press(g->view(), Qt::Key_F5, Qt::ControlModifier | Qt::AltModifier);
    Press(g->view(), Qt::Key_A);
    const std::vector<std::pair<int, int>> expected{
        {vbKeyReturn, 0}, {vbKeyReturn, 0}, {vbKeyDown, vbShiftMask}, {vbKeyF5, vbCtrlMask | vbAltMask}, {vbKeyA, 0}};
    EXPECT_EQ(seen, expected);

    QObject::connect(&*g, &ListGrid::KeyDown, [](int& code, int&) {
        if (code == vbKeyDown) code = 0;
    });
    g->setActiveRow(1);
    Press(g->view(), Qt::Key_Down);
    EXPECT_EQ(g->ActiveRow(), 1) << "a code set to 0 swallows the key";
    Press(g->view(), Qt::Key_End);
    EXPECT_EQ(g->ActiveRow(), 3);
}

// --- Opening a row -----------------------------------------------------------

TEST(ListGridOpen, DoubleClickRaisesDblClickWithTheRowAndRowZeroOnTheHeader) {
    auto g = ListOfRows(5);
    std::vector<std::pair<int, int>> seen;
    QObject::connect(&*g, &ListGrid::DblClick, [&](int col, int row) { seen.emplace_back(col, row); });
    QTableView* v = g->view();
    QModelIndex cell = v->model()->index(2, 3);
    DoubleClickAt(v->viewport(), v->visualRect(cell).center());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(4, 3));
    EXPECT_EQ(g->ActiveRow(), 3);

    QHeaderView* h = v->horizontalHeader();
    DoubleClickAt(h->viewport(), QPoint(h->sectionViewportPosition(4) + h->sectionSize(4) / 2, h->height() / 2));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], std::make_pair(5, 0));
}

TEST(ListGridOpen, EnterStaysWithTheListAndRaisesDblClickOnlyWhenAsked) {
    KeyCounter parent;
    auto* g = new ListGrid(&parent);
    g->setMaxCols(3);
    g->setMaxRows(5);
    parent.show();
    std::vector<std::pair<int, int>> seen;
    QObject::connect(g, &ListGrid::DblClick, [&](int col, int row) { seen.emplace_back(col, row); });
    g->setActiveRow(4);
    Press(g->view(), Qt::Key_Return);
    EXPECT_TRUE(seen.empty()) << "by default Enter goes to KeyDown only";
    EXPECT_EQ(parent.keys, 0) << "Enter must not reach a dialog's default button";

    g->setEnterRaisesDblClick(true);
    Press(g->view(), Qt::Key_Return);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second, 4);
    EXPECT_EQ(seen[0].first, g->ActiveCol());

    QObject::connect(g, &ListGrid::KeyDown, [](int& code, int&) { code = 0; });
    Press(g->view(), Qt::Key_Return);
    EXPECT_EQ(seen.size(), 1u) << "a swallowed Enter opens nothing";
}

// --- Drawing and speed ---------------------------------------------------------

TEST(ListGridDrawing, ReDrawOffHoldsChangeNoticesUntilItIsOnAgain) {
    ListGrid g;
    g.setMaxCols(2);
    g.setMaxRows(3);
    int notices = 0;
    QObject::connect(g.view()->model(), &QAbstractItemModel::dataChanged, [&] { ++notices; });
    g.setReDraw(false);
    for (int r = 1; r <= 3; ++r) {
        SetBlock(g, r, 1, r, 2);
        g.setClip("x\ty");
    }
    EXPECT_EQ(notices, 0);
    EXPECT_FALSE(g.ReDraw());
    g.setReDraw(true);
    EXPECT_GE(notices, 1);
    SetBlock(g, 1, 1, 1, 2);
    const int before = notices;
    g.setClip("p\tq");
    EXPECT_GT(notices, before) << "with drawing on every change is announced";
}

TEST(ListGridDrawing, TenThousandRowsFillThroughClipQuickly) {
    auto g = VoucherLikeList();
    g->resize(800, 400);
    g->show();
    QStringList rows;
    for (int i = 1; i <= 10000; ++i) rows << VoucherRow(i);
    QElapsedTimer t;
    t.start();
    FillRows(*g, rows);
    QApplication::processEvents();
    const qint64 ms = t.elapsed();
    std::cout << "[ info ] 10000 rows filled in " << ms << " ms\n";
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(g->MaxRows(), 10000);
    EXPECT_EQ(CellAt(*g, 10000, 4), "10000");
    EXPECT_EQ(Shown(*g, 9999, 6), "9,999,000");
}

// --- Accessibility ---------------------------------------------------------------

TEST(ListGridAccessibility, TableInterfaceExposesTheShownCellTexts) {
    auto g = ListOfRows(3);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(g->view());
    ASSERT_NE(a, nullptr);
    QAccessibleTableInterface* t = a->tableInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rowCount(), 3);
    auto cellText = [t](int row, int col) {
        QAccessibleInterface* cell = t->cellAt(row, col);
        return cell ? cell->text(QAccessible::Name) : QString("(none)");
    };
    EXPECT_EQ(cellText(1, 2), "2024/04/03");
    EXPECT_EQ(cellText(2, 5), "3,000");
    EXPECT_EQ(cellText(0, 4), "摘要1");
}
