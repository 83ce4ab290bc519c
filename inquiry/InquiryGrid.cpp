#include "inquiry/InquiryGrid.h"

#include "platform/VbCompat.h"
#include "platform/VoucherOpener.h"

namespace InquiryGrid {

const QString AmountFormat = QStringLiteral("###,###,###,###,###");
const QString CodeFormat = QStringLiteral("########");

VoucherGridLayout NewLayout(int visibleRows) {
    VoucherGridLayout l;
    l.linesPerRow = 1;
    l.rowCursor = true;
    l.visibleRows = visibleRows;
    l.lineHeight = 20;
    return l;
}

int AddCell(VoucherGridLayout& layout, const QString& key, const QString& caption, Kind kind, int width) {
    VoucherGridCell c;
    c.key = key;
    c.caption = caption;
    c.line = 0;
    c.column = layout.ColumnCount();
    c.width = width;
    c.stop = true;
    c.editable = false;
    switch (kind) {
    case Kind::Date:
        c.alignment = Qt::AlignHCenter | Qt::AlignVCenter;
        break;
    case Kind::Code:
        c.format = CodeFormat;
        c.alignment = Qt::AlignRight | Qt::AlignVCenter;
        break;
    case Kind::Amount:
        c.format = AmountFormat;
        c.alignment = Qt::AlignRight | Qt::AlignVCenter;
        break;
    case Kind::Name:
    case Kind::Text:
        c.alignment = Qt::AlignLeft | Qt::AlignVCenter;
        break;
    }
    layout.cells.push_back(c);
    return c.column;
}

void AddHeader(VoucherGridLayout& layout, const QString& key, const QString& caption, int column, int span) {
    VoucherGridHeaderCell h;
    h.key = key;
    h.caption = caption;
    h.line = 0;
    h.column = column;
    h.span = span;
    layout.header.push_back(h);
}

void AddFooter(VoucherGridLayout& layout, const QString& key, const QString& text, int column, int span) {
    VoucherGridFooterCell f;
    f.key = key;
    f.text = text;
    f.column = column;
    f.span = span;
    if (key.isEmpty()) {
        f.alignment = Qt::AlignRight | Qt::AlignVCenter;
    } else {
        f.format = AmountFormat;
    }
    layout.footer.push_back(f);
}

bool HasKeyboard(const VoucherGrid* grid) {
    const QWidget* focus = grid->window()->focusWidget();
    return focus && (focus == grid || grid->isAncestorOf(focus));
}

void RequeryFromGrid(VoucherGrid* grid, const std::function<bool()>& query, int row) {
    query();
    if (row >= 0) grid->setCurrentRow(row);
    if (!grid->GridEnabled()) return;
    grid->window()->activateWindow();
    grid->setFocus(Qt::OtherFocusReason);
}

void OpenRowVoucher(VoucherGrid* grid, VoucherOpener& opener, int firstRow, bool canUpdate,
                    const std::vector<long>& rowDates, const std::function<bool()>& query) {
    const int row = grid->CurrentRow();
    if (row < firstRow || row < 0) return;
    const QString mode = canUpdate ? "U" : "S";
    const long number = ValLng(grid->Cell("DATA_DENNO", row));
    if (row < static_cast<int>(rowDates.size()) && rowDates[row] != 0) {
        opener.ProgramName(QStringLiteral("WKE410"));
        opener.ShowVoucher(mode, rowDates[row], number);
    }
    RequeryFromGrid(grid, query, row);
}

}  // namespace InquiryGrid
