// The one-line grid layout of the inquiry windows (DenMain of the ledger and
// the journal): read-only cells keyed "DATA_...", header captions keyed
// "HEAD_...", footer totals keyed "FOOT_...", amounts in
// "###,###,###,###,###" (0 shown as blank, as are codes of 0).
#pragma once
#include "platform/VoucherGrid.h"

#include <QString>

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

}  // namespace InquiryGrid
