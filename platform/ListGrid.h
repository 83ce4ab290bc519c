// ListGrid: a read-only list of rows and columns addressed like a
// spreadsheet control. Rows and columns count from 1; row 0 is the column
// header and column 0 the row header.
//
// What callers rely on:
// - MaxRows/MaxCols set the size; growing keeps the cells already there and
//   adds empty ones, shrinking drops the rows or columns at the end.
// - Row/Col address the cell read and written through Text; Row..Row2 x
//   Col..Col2 is the block written and read through Clip. Clip text has its
//   cells joined by TAB and its rows by a line break ("\r\n", "\r" or "\n"
//   on writing, "\r\n" on reading). Values beyond the block are ignored;
//   cells the text does not reach keep their value. A Row or Row2 of -1
//   means every row, a Col or Col2 of -1 every column.
// - BlockMode True makes Text write every cell of the block.
// - ReDraw False stops drawing and change notices until it is set True
//   again; filling many rows through Clip is then cheap.
// - Column kinds: a Date column keeps its value as the yyyymmdd number text
//   and shows it as "yyyy/mm/dd"; an Amount column keeps the text as given
//   and shows it as "###,###,###,##0". Text always gives the kept value.
// - Hidden columns keep their values and can be read and written.
// - A cell keeps its text without NUL characters; a row costs little more
//   than its texts (one text per row, no item per cell). SetRows fills a
//   whole list at once.
// - The cursor always marks a whole row. ActiveRow is its row, 0 when the
//   list has no rows; when rows appear in an empty list the cursor goes to
//   row 1.
// - Every key pressed in the list raises KeyDown with the virtual-key code
//   and shift state of platform/KeyCodes.h (vbKeyReturn ...) before the list
//   acts on it; a handler that sets the code to 0 swallows the key. Enter is
//   never passed on to the window around the list. A double-click raises
//   DblClick(col, row); row 0 is the header.
#pragma once
#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

class QTableView;
class ListGridModel;
class ListGridView;

class ListGrid : public QWidget {
    Q_OBJECT
public:
    enum class CellKind { Text, Date, Amount };

    explicit ListGrid(QWidget* parent = nullptr);
    ~ListGrid() override;

    // Size.
    int MaxRows() const;
    void setMaxRows(int rows);
    int MaxCols() const;
    void setMaxCols(int cols);

    // Addressed cell and block.
    int Row() const { return row_; }
    void setRow(int row) { row_ = row; }
    int Col() const { return col_; }
    void setCol(int col) { col_ = col; }
    int Row2() const { return row2_; }
    void setRow2(int row) { row2_ = row; }
    int Col2() const { return col2_; }
    void setCol2(int col) { col2_ = col; }
    bool BlockMode() const { return blockMode_; }
    void setBlockMode(bool on) { blockMode_ = on; }

    // Drawing on or off.
    bool ReDraw() const { return reDraw_; }
    void setReDraw(bool on);

    // Text of the block Row..Row2 x Col..Col2.
    QString Clip() const;
    void setClip(const QString& text);
    // Replaces every row at once: one text a row, its cells joined by TAB
    // as Clip writes a row (cells beyond MaxCols ignored). The cells are
    // kept as Clip would keep them; a long list is filled at a fraction of
    // the cost of Clip row by row. The cursor stays on its row number while
    // that row is there, as with MaxRows.
    void SetRows(std::vector<QString> rows);
    // Text of the cell Row/Col (every cell of the block in block mode).
    // Row 0 is the column caption; column 0 gives the row number.
    QString Text() const;
    void setText(const QString& text);

    // Cursor.
    int ActiveRow() const;
    int ActiveCol() const;
    void setActiveRow(int row);
    void SetActiveCell(int col, int row);

    // Alternating row colours: odd rows back1/fore1, even rows back2/fore2.
    void SetOddEvenRowColor(const QColor& back1, const QColor& fore1, const QColor& back2, const QColor& fore2);

    // Column set-up (col 1..MaxCols). Widths are in half-width digits of the
    // list's font.
    QString ColumnHeader(int col) const;
    void setColumnHeader(int col, const QString& caption);
    double ColWidth(int col) const;
    void setColWidth(int col, double chars);
    bool ColHidden(int col) const;
    void setColHidden(int col, bool hidden);
    CellKind ColKind(int col) const;
    void setColKind(int col, CellKind kind);
    // Horizontal alignment of a column (Qt::AlignLeft, AlignRight or
    // AlignHCenter); Amount columns start right-aligned, others left.
    Qt::Alignment ColAlignment(int col) const;
    void setColAlignment(int col, Qt::Alignment alignment);
    // The row numbers at the left; shown unless turned off.
    void setRowHeadersVisible(bool visible);

    // When on, an Enter that the KeyDown handlers leave alone raises
    // DblClick(ActiveCol, ActiveRow) as well. Off by default.
    bool EnterRaisesDblClick() const { return enterDblClick_; }
    void setEnterRaisesDblClick(bool on) { enterDblClick_ = on; }

    // Gives the list the keyboard focus.
    void SetFocus() { setFocus(Qt::OtherFocusReason); }

    // The inner view (for layout and tests).
    QTableView* view() const;

    static constexpr double DefaultColWidth = 9.0;

signals:
    void DblClick(int col, int row);
    void KeyDown(int& keyCode, int& shift);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Block { int row1, row2, col1, col2; bool empty() const { return row1 > row2 || col1 > col2; } };
    Block CurrentBlock() const;
    void ApplyColumn(int col);
    void ApplyAllColumns();
    void EnsureCursor();
    void OnRowsChanged();
    bool ValidCol(int col) const { return col >= 1 && col <= MaxCols(); }

    ListGridModel* model_;
    ListGridView* view_;
    int row_ = 1, col_ = 1, row2_ = 1, col2_ = 1;
    bool blockMode_ = false;
    bool reDraw_ = true;
    bool enterDblClick_ = false;
};
