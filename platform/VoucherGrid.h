// VoucherGrid: an entry grid whose cells are addressed by a 0-based row and
// a column key text. Each row is a block of one or more visual lines; the
// window describes the block (keys, captions, places, formats, which cells
// take the cursor) in a VoucherGridLayout and hands it over with
// SetGridLayout(). The grid itself knows nothing of what the cells mean.
//
// What callers rely on:
// - Cell values are stored as the raw text the program or the user gave
//   ("1080"); a cell's format applies to what is shown only ("1,080").
// - setCell() raises CellChanged(key, row) exactly as a typed change does,
//   and both only when the value actually changes. Confirming an edit
//   raises CellValue(value) first (also when nothing changed; the handler
//   may alter the value), then stores it.
// - KeyDown(keyCode, shift) is raised for every key pressed while the grid
//   or its cell editor has the focus, before the grid acts on it; a handler
//   that sets keyCode to 0 swallows the key. KeyPress(ch) follows for a
//   character key, 0 swallows it. Codes are those of platform/KeyCodes.h.
//   Connect directly (the default within one thread): the arguments are
//   references the handlers write to.
// - Moving the cursor (setCurrentKey, setCurrentRow, the keyboard, a click)
//   first confirms an edit in progress, so CellValue and CellChanged see
//   the cursor still on the edited cell; then CellEnter(key) is raised.
// - Keyboard moves rest only on cells marked as stops; the program and a
//   mouse click may put the cursor on any cell. A key or row that names no
//   cell leaves the cursor where it is.
// - EditLock 0 allows editing, any other value (3) forbids it; the cursor
//   still moves. GridEnabled(false) refuses all input.
// - Redraw(false) suspends drawing until Redraw(true), for bulk filling.
#pragma once
#include "platform/Currency.h"
#include "platform/GridRows.h"

#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QInputMethodEvent;
class QKeyEvent;
class QLabel;
class QModelIndex;
class QTableView;
class VoucherGridDelegate;
class VoucherGridModel;
class VoucherGridView;

// One cell of a row block.
struct VoucherGridCell {
    QString key;
    QString caption;          // column caption (header line, accessible description)
    int line = 0;             // visual line within the row block
    int column = 0;           // first grid column
    int span = 1;             // grid columns covered
    int width = 0;            // pixels; a one-column cell sets its column's width
    QString format;           // "" text; e.g. "###,###,###,##0" number with separators
    Qt::Alignment alignment;  // empty: right for formatted cells, left for text
    bool stop = true;         // keyboard moves rest here
    bool editable = true;     // the user may edit the value
    int maxLength = 0;        // characters; 0 = no limit
    bool numeric = false;     // only digits, '-' and '.' may be typed
    // A whole amount (with numeric): a leading minus sign and digits, with
    // commas, half- or full-width; no point, no minus inside. The confirmed
    // value is stored as plain digits ("-1001").
    bool amount = false;
    bool ime = false;         // Japanese text: the input method is wanted
};

// A caption in the header band above the grid (lines counted from its top).
struct VoucherGridHeaderCell {
    QString key;
    QString caption;
    int line = 0;
    int column = 0;
    int span = 1;
};

// A footer field below the grid, placed under a grid column. A key names a
// total (setTotal); a cell without a key shows its text as a fixed caption.
struct VoucherGridFooterCell {
    QString key;
    QString text;
    int column = 0;
    int span = 1;
    QString format;
    Qt::Alignment alignment;  // empty: right for formatted cells, left for text
};

struct VoucherGridLayout {
    int linesPerRow = 1;
    std::vector<VoucherGridCell> cells;
    std::vector<VoucherGridHeaderCell> header;  // empty: one caption line per row line
    std::vector<VoucherGridFooterCell> footer;
    std::vector<int> columnWidths;              // optional, overrides the cells' widths
    QString cornerCaption;                      // above the row numbers
    bool rowNumbers = true;                     // the row number at the left of each block
    int rowNumberWidth = 36;
    bool rowCursor = false;                     // shade the whole row of the cursor
    int visibleRows = 6;                        // row blocks the preferred height shows
    QString fontFamily = QStringLiteral("ＭＳ ゴシック");
    int fontPointSize = 10;
    int lineHeight = 0;                         // pixels; 0 = from the font

    // Appends header captions taken from the cells: each cell's caption at
    // its own place, on header line firstLine + the cell's line.
    void AddCaptionHeader(int firstLine = 0);
    // Index of the cell with this key, -1 when none.
    int IndexOf(const QString& key) const;
    int ColumnCount() const;
};

class VoucherGrid : public QWidget {
    Q_OBJECT
public:
    explicit VoucherGrid(QWidget* parent = nullptr);
    ~VoucherGrid() override;

    void SetGridLayout(const VoucherGridLayout& layout);
    const VoucherGridLayout& GridLayout() const { return layout_; }

    // Cursor.
    QString CurrentKey() const;
    void setCurrentKey(const QString& key);
    int CurrentRow() const { return curRow_; }
    void setCurrentRow(int row);

    // Cell values (raw text). An unknown key or a row out of range reads
    // as empty and is not written.
    QString Cell(const QString& key, int row) const;
    void setCell(const QString& key, int row, const QString& value);
    void setCell(const QString& key, int row, Currency value) { setCell(key, row, value.ToString()); }
    // The text a cell shows (formatted).
    QString DisplayText(const QString& key, int row) const;
    // Position of a cell key among the layout's cells (the order of the
    // values FillRows() takes); -1 when no cell has the key.
    int CellIndex(const QString& key) const { return keyIndex_.value(key, -1); }
    // Bulk filling by the program: rows firstRow, firstRow + 1, ... take
    // the given raw values, one per cell in the order of the layout's cells
    // (missing ones empty); rows beyond Rows() are left out. Like
    // ClearCells() it drops an edit in progress and raises no CellChanged.
    // Drawn at once, or when drawing is switched back on.
    void FillRows(int firstRow, std::vector<QStringList> rows);
    // Rows added at the end with the given raw values (as FillRows); the
    // cursor and the rows already there stay as they are.
    void AppendRows(std::vector<QStringList> rows);
    void AppendRows(const PackedRows& rows);
    // The rows' storage made no larger than the rows need (after a long
    // list was appended).
    void FitRows() { data_.fit(); }

    // Rows: the number of row blocks; RowCount: the rows in use (the last
    // row with any non-empty cell, plus one).
    int Rows() const { return static_cast<int>(data_.size()); }
    void setRows(int rows);
    int RowCount() const;

    bool GridEnabled() const { return enabled_; }
    void setGridEnabled(bool enabled);
    bool Redraw() const { return redraw_; }
    void setRedraw(bool redraw);
    int FillRow() const { return fillRow_; }
    void setFillRow(int row) { fillRow_ = row; }
    int EditLock() const { return editLock_; }
    void setEditLock(int lock);
    bool InitFlag() const { return initFlag_; }
    void setInitFlag(bool flag) { initFlag_ = flag; }
    int ClearMode() const { return clearMode_; }
    void setClearMode(int mode) { clearMode_ = mode; }

    // True while a cell editor is open. setCellEditing(false) confirms the
    // edit in progress; true opens the editor on the current cell.
    bool CellEditing() const;
    void setCellEditing(bool editing);

    // ClearCells empties every cell (an edit in progress is dropped); Clear
    // also empties the footer totals. Neither raises CellChanged.
    void ClearCells();
    void Clear();
    // An empty row at the cursor's row; the last row drops out. An edit in
    // progress is confirmed first; the shift itself raises no CellChanged.
    void InsertRow();
    // The cursor's row removed; an empty row appended at the end (as above).
    void DeleteRow();

    // Footer totals, stored as raw text, shown in the footer cell's format.
    QString Total(const QString& key) const { return totals_.value(key); }
    void setTotal(const QString& value, const QString& key);
    void setTotal(Currency value, const QString& key) { setTotal(value.ToString(), key); }

    // Layout section items. Item 0 of section 0 is the row-number caption:
    // "%n%" stands for the row number (1, 2, ...).
    QString SectionItemText(int section, int item) const;
    void setSectionItemText(int section, int item, const QString& text);
    // Column definition settings, kept for the caller.
    int ColumnDef(const QString& key, int item) const;
    void setColumnDef(const QString& key, int item, int value);

    // The table inside (keyboard focus, accessibility, tests).
    QTableView* view() const;
    QLineEdit* editor() const { return editor_; }

    // "###,###,###,##0"-style formatting of a number text; a text that is
    // not a number, or an empty format, is returned unchanged.
    static QString FormatText(const QString& raw, const QString& format);
    // The text of an amount cell as plain digits: full-width digits and
    // minus signs made half-width, commas taken out.
    static QString PlainAmount(const QString& text);

    QSize sizeHint() const override;

signals:
    void CellChanged(const QString& key, int row);
    void RowDblClick();
    void CellEnter(const QString& key);
    void CellBeginEdit();
    void KeyDown(int& keyCode, int& shift);
    void KeyPress(int& keyAscii);
    void CellValue(QString& value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class VoucherGridModel;
    friend class VoucherGridView;
    friend class VoucherGridDelegate;

    enum class EditStart { Typing, Caret };

    // Layout tables.
    void buildMaps();
    int cellAt(int line, int column) const;  // covering cell index or -1
    int lineHeight() const;
    int firstStop() const;
    int lastStop() const;
    void applySpans();
    void buildBands();
    void placeBands();
    int columnWidth(int column) const;

    // Keyboard.
    bool processKey(QKeyEvent* e, bool fromEditor);
    bool editingKey(QKeyEvent* e, int code, int shift, int ch, bool chChanged);
    bool idleKey(int code, int shift, int ch);
    void typeCharacter(int ch);
    void inputMethodFromView(QInputMethodEvent* e);

    // Cursor.
    void moveTo(int cell, int row);
    void moveNextStop(bool forward);
    void moveVertical(int direction);
    void moveHorizontal(int direction);
    void movePage(int direction);
    void clickAt(const QModelIndex& index, bool doubleClick);
    void syncView();
    // After rows were appended from `first` on.
    void appended(int first);
    bool canEdit(int cell, int row) const;
    bool isAllowed(int cell, int ch) const;
    void updateViewIme();

    // Editing.
    bool beginEdit(EditStart how, const QString& typed = QString());
    void editorCreated(QLineEdit* editor);
    void commitEdit();
    void cancelEdit();
    void closeEditor();
    void editorFocusLost();

    // Storage.
    bool store(int cell, int row, const QString& value);
    void cellsChanged(int firstRow, int lastRow);
    void rowLookChanged(int row);

    VoucherGridLayout layout_;
    QHash<QString, int> keyIndex_;
    std::vector<int> cover_;           // linesPerRow x columns -> cell index
    std::vector<int> readingOrder_;    // every cell, by line then column
    GridRows data_;                    // per row: one value per cell
    QHash<QString, QString> totals_;
    QHash<QString, QString> sectionItems_;
    QHash<QString, int> columnDefs_;

    int curRow_ = 0;
    int curCell_ = -1;
    int fillRow_ = 0;
    int editLock_ = 0;
    int clearMode_ = 0;
    bool initFlag_ = true;
    bool enabled_ = true;
    bool redraw_ = true;
    bool pendingRepaint_ = false;

    QPointer<QLineEdit> editor_;
    int editCell_ = -1;
    int editRow_ = -1;
    QString editOriginal_;
    bool quickEdit_ = false;
    bool committing_ = false;

    VoucherGridModel* model_ = nullptr;
    VoucherGridView* view_ = nullptr;
    VoucherGridDelegate* delegate_ = nullptr;
    QWidget* headerBand_ = nullptr;
    QWidget* headerClip_ = nullptr;
    QLabel* corner_ = nullptr;
    QWidget* footerBand_ = nullptr;
    QWidget* footerClip_ = nullptr;
    std::vector<std::pair<VoucherGridHeaderCell, QLabel*>> headerLabels_;
    std::vector<std::pair<VoucherGridFooterCell, QLabel*>> footerLabels_;
};
