// The one-line grid layout of the inquiry windows (DenMain of the ledger and
// the journal): read-only cells keyed "DATA_...", header captions keyed
// "HEAD_...", footer totals keyed "FOOT_...", amounts in
// "###,###,###,###,###" (0 shown as blank, as are codes of 0).
#pragma once
#include "platform/VoucherGrid.h"

#include <QString>
#include <functional>
#include <vector>

class VoucherOpener;

namespace InquiryGrid {

extern const QString AmountFormat;  // "###,###,###,###,###"
extern const QString CodeFormat;    // "########"

enum class Kind {
    Date,    // "yyyy/mm/dd", centred
    Code,    // a code or number, right-aligned, 0 blank
    Name,    // a short name, left-aligned
    Amount,  // an amount in AmountFormat
    Text,    // a description, left-aligned
};

// A new one-line layout: the whole row shaded under the cursor, the given
// number of rows shown by the preferred height.
VoucherGridLayout NewLayout(int visibleRows);
// Appends a data cell in the next grid column; returns its column.
int AddCell(VoucherGridLayout& layout, const QString& key, const QString& caption, Kind kind, int width);
// A header caption over `span` columns starting at `column`.
void AddHeader(VoucherGridLayout& layout, const QString& key, const QString& caption, int column, int span = 1);
// A footer total under a column (format of the amounts), or with an empty
// key a fixed caption right-aligned under it.
void AddFooter(VoucherGridLayout& layout, const QString& key, const QString& text, int column, int span = 1);

// True when the keyboard focus of the grid's window is in the grid (its
// table or cell editor).
bool HasKeyboard(const VoucherGrid* grid);
// Runs the window's query again for a command that started from the grid
// (a voucher opened from a row, the view command given while the grid had
// the keyboard). The query disables the grid while it runs, and a disabled
// grid hands the keyboard on to the next control; so afterwards the cursor
// goes back to `row` (a row of -1 leaves it where the query put it) and the
// grid, when the query left it enabled, takes the keyboard back in its
// window, which becomes the active one again (the voucher program that was
// open in front of it has ended). A query that left the grid disabled
// keeps the focus where its message put it.
void RequeryFromGrid(VoucherGrid* grid, const std::function<bool()>& query, int row = -1);
// Opens the voucher of the grid's current row in the voucher entry program
// ("U" when the user may change vouchers, else "S") and waits for it; rows
// before `firstRow`, and rows without a voucher date in `rowDates`, open
// nothing. The window's query then runs again from the grid.
void OpenRowVoucher(VoucherGrid* grid, VoucherOpener& opener, int firstRow, bool canUpdate,
                    const std::vector<long>& rowDates, const std::function<bool()>& query);

}  // namespace InquiryGrid
