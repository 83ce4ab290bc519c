#include "platform/VoucherGrid.h"

#include "platform/KeyCodes.h"
#include "platform/VbCompat.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QColor kBlockEven(0xFF, 0xFF, 0xFF);
const QColor kBlockOdd(0xF1, 0xF5, 0xFB);
const QColor kNameEven(0xF4, 0xF4, 0xF1);
const QColor kNameOdd(0xE6, 0xEA, 0xF0);
const QColor kRowCursor(0xFF, 0xF3, 0xC4);
const QColor kHighlight(0x2F, 0x6B, 0xD0);
const QColor kCursorFrame(0x10, 0x2A, 0x80);
const QColor kBlockLine(0x70, 0x80, 0x98);

const char* kHeaderStyle =
    "QLabel { background: #dde5ef; color: #1c2833; border-right: 1px solid #a3adba;"
    " border-bottom: 1px solid #a3adba; padding: 0px 2px; }";
const char* kFooterStyle =
    "QLabel { background: #fffbea; color: #1c2833; border: 1px solid #a3adba; padding: 0px 4px; }";
const char* kFooterCaptionStyle = "QLabel { color: #1c2833; padding: 0px 4px; }";

Qt::Alignment effectiveAlignment(Qt::Alignment a, const QString& format) {
    Qt::Alignment h = a & Qt::AlignHorizontal_Mask;
    if (!h) h = format.isEmpty() ? Qt::AlignLeft : Qt::AlignRight;
    return h | Qt::AlignVCenter;
}

QString fromCode(int ch) {
    char32_t c = static_cast<char32_t>(ch);
    return QString::fromUcs4(&c, 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Layout

void VoucherGridLayout::AddCaptionHeader(int firstLine) {
    for (const auto& c : cells) {
        VoucherGridHeaderCell h;
        h.key = c.key;
        h.caption = c.caption;
        h.line = firstLine + c.line;
        h.column = c.column;
        h.span = c.span;
        header.push_back(h);
    }
}

int VoucherGridLayout::IndexOf(const QString& key) const {
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].key == key) return static_cast<int>(i);
    return -1;
}

int VoucherGridLayout::ColumnCount() const {
    int n = static_cast<int>(columnWidths.size());
    for (const auto& c : cells) n = std::max(n, c.column + std::max(1, c.span));
    return n;
}

// ---------------------------------------------------------------------------
// The table model: one visual line of a row block per model row.

class VoucherGridModel : public QAbstractTableModel {
public:
    explicit VoucherGridModel(VoucherGrid* grid) : QAbstractTableModel(grid), g_(grid) {}

    int lines() const { return g_->layout_.linesPerRow; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : g_->Rows() * lines();
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : g_->layout_.ColumnCount();
    }

    // The cell that starts at this index, -1 for none.
    int cellOf(const QModelIndex& index) const {
        if (!index.isValid()) return -1;
        int cell = g_->cellAt(index.row() % lines(), index.column());
        if (cell < 0 || g_->layout_.cells[cell].column != index.column()) return -1;
        return cell;
    }

    QModelIndex indexOf(int cell, int row) const {
        if (cell < 0 || row < 0 || row >= g_->Rows()) return QModelIndex();
        const auto& c = g_->layout_.cells[cell];
        return index(row * lines() + c.line, c.column);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        int cell = cellOf(index);
        if (cell < 0) {
            if (role == Qt::BackgroundRole) return blockColour(index.row() / lines(), false);
            return QVariant();
        }
        const auto& c = g_->layout_.cells[cell];
        int row = index.row() / lines();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return VoucherGrid::FormatText(g_->data_.cell(row, cell), c.format);
        case Qt::EditRole:
            return g_->data_.cell(row, cell);
        case Qt::AccessibleDescriptionRole:
        case Qt::ToolTipRole:
            return c.caption.isEmpty() ? QVariant() : QVariant(c.caption);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(effectiveAlignment(c.alignment, c.format));
        case Qt::BackgroundRole:
            if (g_->layout_.rowCursor && row == g_->curRow_) return kRowCursor;
            return blockColour(row, !c.stop);
        default:
            return QVariant();
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        int cell = cellOf(index);
        if (cell < 0) return Qt::ItemIsEnabled;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (g_->canEdit(cell, index.row() / lines())) f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Vertical) {
            if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
            if (role != Qt::DisplayRole || section % lines() != 0 || !g_->layout_.rowNumbers) return QVariant();
            QString caption = g_->SectionItemText(0, 0);
            return caption.replace(QStringLiteral("%n%"), QString::number(section / lines() + 1));
        }
        if (role != Qt::DisplayRole) return QVariant();
        QStringList captions;
        for (const auto& h : g_->layout_.header)
            if (h.column == section && !h.caption.isEmpty()) captions << h.caption;
        return captions.join(QStringLiteral(" / "));
    }

    void refreshRows(int firstRow, int lastRow) {
        if (g_->Rows() == 0 || columnCount() == 0) return;
        firstRow = std::max(0, firstRow);
        lastRow = std::min(g_->Rows() - 1, lastRow);
        if (firstRow > lastRow) return;
        emit dataChanged(index(firstRow * lines(), 0), index((lastRow + 1) * lines() - 1, columnCount() - 1));
    }
    void refreshCell(int cell, int row) {
        QModelIndex i = indexOf(cell, row);
        if (i.isValid()) emit dataChanged(i, i);
    }
    void refreshRowNumbers() {
        if (rowCount() > 0) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }
    void beginReset() { beginResetModel(); }
    void beginAppend(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
    void endAppend() { endInsertRows(); }
    void endReset() { endResetModel(); }

private:
    static QColor blockColour(int row, bool nameCell) {
        if (row % 2) return nameCell ? kNameOdd : kBlockOdd;
        return nameCell ? kNameEven : kBlockEven;
    }

    VoucherGrid* g_;
};

// ---------------------------------------------------------------------------
// The table view: every key, click and input-method event goes to the grid.

class VoucherGridView : public QTableView {
public:
    explicit VoucherGridView(VoucherGrid* grid) : QTableView(grid), g_(grid) {}

    void closeEditorNow(QWidget* editor) { closeEditor(editor, QAbstractItemDelegate::NoHint); }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (g_->processKey(k, false)) {
                k->accept();
                return true;
            }
            k->ignore();
            return false;
        }
        return QTableView::event(e);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) {
            e->accept();
            return;
        }
        setFocus(Qt::MouseFocusReason);
        g_->clickAt(indexAt(e->position().toPoint()), false);
        e->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) g_->clickAt(indexAt(e->position().toPoint()), true);
        e->accept();
    }
    void mouseMoveEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
    void inputMethodEvent(QInputMethodEvent* e) override { g_->inputMethodFromView(e); }

private:
    VoucherGrid* g_;
};

// ---------------------------------------------------------------------------
// The delegate: makes the cell editor, draws the cursor frame and the line
// under each row block, and hands the editor's keys to the grid.

class VoucherGridDelegate : public QStyledItemDelegate {
public:
    explicit VoucherGridDelegate(VoucherGrid* grid) : QStyledItemDelegate(grid), g_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* ed = new QLineEdit(parent);
        ed->setFrame(false);
        g_->editorCreated(ed);
        return ed;
    }
    // The grid fills the editor and stores its value itself.
    void setEditorData(QWidget*, const QModelIndex&) const override {}
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        editor->setGeometry(option.rect.adjusted(1, 1, -1, -1));
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(p, option, index);
        const int lines = g_->layout_.linesPerRow;
        if (lines > 1 && index.row() % lines == lines - 1) {
            p->save();
            p->setPen(kBlockLine);
            p->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
            p->restore();
        }
        if (index == g_->view_->currentIndex() && g_->curCell_ >= 0) {
            p->save();
            p->setPen(QPen(kCursorFrame, 2));
            p->setBrush(Qt::NoBrush);
            p->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
            p->restore();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != g_->editor_) return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            return g_->processKey(static_cast<QKeyEvent*>(event), true);
        case QEvent::ShortcutOverride:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                event->accept();
                return true;
            }
            return false;
        case QEvent::FocusOut:
            g_->editorFocusLost();
            return false;
        default:
            return false;
        }
    }

private:
    VoucherGrid* g_;
};

// ---------------------------------------------------------------------------
// Construction and layout

VoucherGrid::VoucherGrid(QWidget* parent) : QWidget(parent) {
    model_ = new VoucherGridModel(this);
    view_ = new VoucherGridView(this);
    delegate_ = new VoucherGridDelegate(this);
    view_->setModel(model_);
    view_->setItemDelegate(delegate_);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectItems);
    view_->setTabKeyNavigation(false);
    view_->setWordWrap(false);
    view_->setCornerButtonEnabled(false);
    view_->setFocusPolicy(Qt::StrongFocus);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view_->horizontalHeader()->hide();
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setSectionsClickable(false);
    view_->verticalHeader()->setHighlightSections(false);
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->viewport()->installEventFilter(this);
    QPalette pal = view_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Highlight, kHighlight);
        pal.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    view_->setPalette(pal);
    setFocusProxy(view_);

    headerBand_ = new QWidget(this);
    corner_ = new QLabel(headerBand_);
    corner_->setStyleSheet(kHeaderStyle);
    corner_->setAlignment(Qt::AlignCenter);
    headerClip_ = new QWidget(headerBand_);
    footerBand_ = new QWidget(this);
    footerClip_ = new QWidget(footerBand_);

    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(headerBand_);
    box->addWidget(view_, 1);
    box->addWidget(footerBand_);

    connect(view_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeBands(); });
    connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { placeBands(); });

    SetGridLayout(VoucherGridLayout());
}

VoucherGrid::~VoucherGrid() {
    // The table goes first, while the model and the delegate it uses still
    // exist; nothing it signals on the way reaches the grid.
    editor_ = nullptr;
    view_->viewport()->removeEventFilter(this);
    disconnect(view_->horizontalScrollBar(), nullptr, this, nullptr);
    disconnect(view_->horizontalHeader(), nullptr, this, nullptr);
    delete view_;
    view_ = nullptr;
}

QTableView* VoucherGrid::view() const { return view_; }

void VoucherGrid::SetGridLayout(const VoucherGridLayout& layout) {
    cancelEdit();
    layout_ = layout;
    layout_.linesPerRow = std::max(1, layout_.linesPerRow);
    if (layout_.header.empty()) layout_.AddCaptionHeader(0);
    buildMaps();

    QFont f(layout_.fontFamily);
    f.setPointSize(layout_.fontPointSize > 0 ? layout_.fontPointSize : 10);
    setFont(f);

    model_->beginReset();
    data_.setCellCount(static_cast<int>(layout_.cells.size()));
    data_.clearAll();
    model_->endReset();

    const int lh = lineHeight();
    QHeaderView* vh = view_->verticalHeader();
    vh->setMinimumSectionSize(std::min(lh, 8));
    vh->setDefaultSectionSize(lh);
    vh->setVisible(layout_.rowNumbers);
    vh->setFixedWidth(layout_.rowNumbers ? layout_.rowNumberWidth : 0);
    QHeaderView* hh = view_->horizontalHeader();
    hh->setMinimumSectionSize(4);
    for (int c = 0; c < layout_.ColumnCount(); ++c) view_->setColumnWidth(c, columnWidth(c));
    applySpans();
    buildBands();

    curRow_ = 0;
    curCell_ = firstStop();
    syncView();
    updateViewIme();
    updateGeometry();
    placeBands();
}

void VoucherGrid::buildMaps() {
    const int lines = layout_.linesPerRow;
    const int cols = layout_.ColumnCount();
    keyIndex_.clear();
    cover_.assign(static_cast<size_t>(lines) * cols, -1);
    readingOrder_.clear();
    for (size_t i = 0; i < layout_.cells.size(); ++i) {
        auto& c = layout_.cells[i];
        c.span = std::max(1, c.span);
        c.line = std::clamp(c.line, 0, lines - 1);
        if (!keyIndex_.contains(c.key)) keyIndex_.insert(c.key, static_cast<int>(i));
        for (int col = c.column; col < c.column + c.span && col < cols; ++col) {
            int& slot = cover_[static_cast<size_t>(c.line) * cols + col];
            if (slot < 0) slot = static_cast<int>(i);
        }
        readingOrder_.push_back(static_cast<int>(i));
    }
    std::stable_sort(readingOrder_.begin(), readingOrder_.end(), [this](int a, int b) {
        const auto& x = layout_.cells[a];
        const auto& y = layout_.cells[b];
        return x.line != y.line ? x.line < y.line : x.column < y.column;
    });
}

int VoucherGrid::cellAt(int line, int column) const {
    const int cols = layout_.ColumnCount();
    if (line < 0 || line >= layout_.linesPerRow || column < 0 || column >= cols) return -1;
    return cover_[static_cast<size_t>(line) * cols + column];
}

int VoucherGrid::firstStop() const {
    for (int i : readingOrder_)
        if (layout_.cells[i].stop) return i;
    return readingOrder_.empty() ? -1 : readingOrder_.front();
}

int VoucherGrid::lastStop() const {
    for (auto it = readingOrder_.rbegin(); it != readingOrder_.rend(); ++it)
        if (layout_.cells[*it].stop) return *it;
    return readingOrder_.empty() ? -1 : readingOrder_.back();
}

int VoucherGrid::lineHeight() const {
    if (layout_.lineHeight > 0) return layout_.lineHeight;
    return std::max(16, QFontMetrics(font()).height() + 4);
}

int VoucherGrid::columnWidth(int column) const {
    if (column < static_cast<int>(layout_.columnWidths.size()) && layout_.columnWidths[column] > 0)
        return layout_.columnWidths[column];
    int w = 0;
    for (const auto& c : layout_.cells)
        if (c.column == column && c.span == 1) w = std::max(w, c.width);
    return w > 0 ? w : 80;
}

void VoucherGrid::applySpans() {
    view_->clearSpans();
    const int lines = layout_.linesPerRow;
    for (int r = 0; r < Rows(); ++r)
        for (const auto& c : layout_.cells)
            if (c.span > 1) view_->setSpan(r * lines + c.line, c.column, 1, c.span);
}

// Header and footer bands: labels placed over the grid columns, moved with
// the horizontal scroll.
void VoucherGrid::buildBands() {
    for (auto& h : headerLabels_) delete h.second;
    for (auto& f : footerLabels_) delete f.second;
    headerLabels_.clear();
    footerLabels_.clear();

    const int lh = lineHeight();
    int headerLines = 0;
    for (const auto& h : layout_.header) {
        headerLines = std::max(headerLines, h.line + 1);
        auto* l = new QLabel(h.caption, headerClip_);
        l->setAlignment(Qt::AlignCenter);
        l->setStyleSheet(kHeaderStyle);
        headerLabels_.emplace_back(h, l);
        l->show();
    }
    corner_->setText(layout_.cornerCaption);
    corner_->setVisible(layout_.rowNumbers);
    headerBand_->setFixedHeight(headerLines * lh);
    headerBand_->setVisible(headerLines > 0);

    for (const auto& f : layout_.footer) {
        auto* l = new QLabel(footerClip_);
        l->setAlignment(effectiveAlignment(f.alignment, f.format));
        l->setStyleSheet(f.key.isEmpty() ? kFooterCaptionStyle : kFooterStyle);
        if (f.key.isEmpty()) {
            l->setText(f.text);
        } else {
            l->setObjectName(f.key);
            l->setText(FormatText(totals_.contains(f.key) ? totals_.value(f.key) : f.text, f.format));
        }
        footerLabels_.emplace_back(f, l);
        l->show();
    }
    footerBand_->setFixedHeight(layout_.footer.empty() ? 0 : lh + 4);
    footerBand_->setVisible(!layout_.footer.empty());
}

void VoucherGrid::placeBands() {
    if (!view_) return;
    QWidget* vp = view_->viewport();
    const int x0 = vp->mapTo(this, QPoint(0, 0)).x();
    const int lh = lineHeight();
    const int frame = view_->frameWidth();
    corner_->setGeometry(frame, 0, std::max(0, x0 - frame), headerBand_->height());
    headerClip_->setGeometry(x0, 0, vp->width(), headerBand_->height());
    footerClip_->setGeometry(x0, 0, vp->width(), footerBand_->height());
    auto span = [this](int column, int count, int& x, int& w) {
        x = view_->columnViewportPosition(column);
        w = 0;
        for (int c = column; c < column + std::max(1, count) && c < model_->columnCount(); ++c)
            w += view_->columnWidth(c);
    };
    for (auto& [h, l] : headerLabels_) {
        int x, w;
        span(h.column, h.span, x, w);
        l->setGeometry(x, h.line * lh, w, lh);
    }
    for (auto& [f, l] : footerLabels_) {
        int x, w;
        span(f.column, f.span, x, w);
        l->setGeometry(x, 2, w, lh);
    }
}

bool VoucherGrid::eventFilter(QObject* watched, QEvent* event) {
    if (view_ && watched == view_->viewport() && event->type() == QEvent::Resize) placeBands();
    return QWidget::eventFilter(watched, event);
}

void VoucherGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeBands();
}

QSize VoucherGrid::sizeHint() const {
    int w = 2 * view_->frameWidth() + (layout_.rowNumbers ? layout_.rowNumberWidth : 0);
    for (int c = 0; c < layout_.ColumnCount(); ++c) w += columnWidth(c);
    w += style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
    const int h = headerBand_->height() + footerBand_->height() + 2 * view_->frameWidth() +
                  std::max(1, layout_.visibleRows) * layout_.linesPerRow * lineHeight();
    return QSize(w, h);
}

// ---------------------------------------------------------------------------
// Cursor

QString VoucherGrid::CurrentKey() const {
    return curCell_ >= 0 ? layout_.cells[curCell_].key : QString();
}

void VoucherGrid::setCurrentKey(const QString& key) {
    int cell = keyIndex_.value(key, -1);
    if (cell < 0) return;
    moveTo(cell, curRow_);
}

void VoucherGrid::setCurrentRow(int row) { moveTo(curCell_, row); }

void VoucherGrid::moveTo(int cell, int row) {
    if (cell < 0 || cell >= static_cast<int>(layout_.cells.size())) return;
    commitEdit();
    row = Rows() > 0 ? std::clamp(row, 0, Rows() - 1) : 0;
    const bool entered = cell != curCell_ || row != curRow_;
    const int oldRow = curRow_;
    curCell_ = cell;
    curRow_ = row;
    syncView();
    if (layout_.rowCursor && oldRow != row) {
        rowLookChanged(oldRow);
        rowLookChanged(row);
    }
    updateViewIme();
    if (entered) emit CellEnter(layout_.cells[cell].key);
}

void VoucherGrid::syncView() {
    if (!view_->selectionModel()) return;
    QModelIndex idx = model_->indexOf(curCell_, curRow_);
    if (!idx.isValid()) {
        view_->selectionModel()->clear();
        return;
    }
    view_->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
    if (!redraw_) return;
    // Show the whole row block when it fits, at least the cursor's line.
    const int lines = layout_.linesPerRow;
    view_->scrollTo(model_->index(curRow_ * lines + lines - 1, idx.column()));
    view_->scrollTo(model_->index(curRow_ * lines, idx.column()));
    view_->scrollTo(idx);
}

// Keyboard moves follow the reading order of the stops: line by line, left
// to right, wrapping into the next row block.
void VoucherGrid::moveNextStop(bool forward) {
    if (readingOrder_.empty() || Rows() == 0 || curCell_ < 0) return;
    const int n = static_cast<int>(readingOrder_.size());
    int pos = static_cast<int>(std::find(readingOrder_.begin(), readingOrder_.end(), curCell_) - readingOrder_.begin());
    int row = curRow_;
    for (int guard = 0; guard < n * 2 + 2; ++guard) {
        pos += forward ? 1 : -1;
        if (pos >= n) {
            if (row + 1 >= Rows()) return;
            ++row;
            pos = 0;
        } else if (pos < 0) {
            if (row == 0) return;
            --row;
            pos = n - 1;
        }
        int cell = readingOrder_[pos];
        if (layout_.cells[cell].stop) {
            moveTo(cell, row);
            return;
        }
    }
}

void VoucherGrid::moveHorizontal(int direction) { moveNextStop(direction > 0); }

void VoucherGrid::moveVertical(int direction) {
    if (curCell_ < 0 || Rows() == 0) return;
    const int lines = layout_.linesPerRow;
    const int column = layout_.cells[curCell_].column;
    const int total = Rows() * lines;
    for (int g = curRow_ * lines + layout_.cells[curCell_].line + direction; g >= 0 && g < total; g += direction) {
        int cell = cellAt(g % lines, column);
        if (cell >= 0 && layout_.cells[cell].stop) {
            moveTo(cell, g / lines);
            return;
        }
    }
}

void VoucherGrid::movePage(int direction) {
    const int blockHeight = std::max(1, layout_.linesPerRow * lineHeight());
    const int page = std::max(1, view_->viewport()->height() / blockHeight);
    moveTo(curCell_, curRow_ + direction * page);
}

void VoucherGrid::clickAt(const QModelIndex& index, bool doubleClick) {
    int cell = model_->cellOf(index);
    if (cell < 0) return;
    QPointer<VoucherGrid> self(this);
    moveTo(cell, index.row() / layout_.linesPerRow);
    if (!self || !doubleClick) return;
    emit RowDblClick();
    if (self && !editor_ && canEdit(curCell_, curRow_)) beginEdit(EditStart::Caret);
}

bool VoucherGrid::canEdit(int cell, int row) const {
    return enabled_ && editLock_ == 0 && cell >= 0 && cell < static_cast<int>(layout_.cells.size()) && row >= 0 &&
           row < Rows() && layout_.cells[cell].editable;
}

bool VoucherGrid::isAllowed(int cell, int ch) const {
    if (cell < 0 || !layout_.cells[cell].numeric) return true;
    if (layout_.cells[cell].amount)
        return (ch >= '0' && ch <= '9') || (ch >= 0xFF10 && ch <= 0xFF19) || ch == ',' || ch == 0xFF0C ||
               ch == '-' || ch == 0x2212 || ch == 0xFF0D;
    return (ch >= '0' && ch <= '9') || ch == '-' || ch == '.';
}

QString VoucherGrid::PlainAmount(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19) out += QChar(u - 0xFF10 + '0');
        else if (u == 0x2212 || u == 0xFF0D) out += QChar('-');
        else if (u == ',' || u == 0xFF0C) continue;
        else out += c;
    }
    return out;
}

void VoucherGrid::updateViewIme() {
    bool on = canEdit(curCell_, curRow_) && !layout_.cells[curCell_].numeric;
    if (view_->testAttribute(Qt::WA_InputMethodEnabled) == on) return;
    view_->setAttribute(Qt::WA_InputMethodEnabled, on);
    if (view_->hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

// ---------------------------------------------------------------------------
// Keyboard

bool VoucherGrid::processKey(QKeyEvent* e, bool fromEditor) {
    QPointer<VoucherGrid> self(this);
    int code = VbKeyCode(e);
    int shift = VbShiftState(e->modifiers());
    if (code != 0) {
        emit KeyDown(code, shift);
        if (!self || code == 0) return true;
    }
    const int typed = VbKeyAscii(e);
    int ch = typed;
    if (ch != 0) {
        emit KeyPress(ch);
        if (!self || ch == 0) return true;
    }
    if (!enabled_) return true;
    if (editor_) {
        if (editingKey(e, code, shift, ch, ch != typed)) return true;
        if (fromEditor) return false;
        // The editor was opened by a handler while the key went to the table.
        if (ch >= 32) editor_->insert(fromCode(ch));
        return true;
    }
    bool handled = idleKey(code, shift, ch);
    // A key meant for an editor the handler closed goes nowhere else.
    return handled || fromEditor;
}

bool VoucherGrid::editingKey(QKeyEvent*, int code, int shift, int ch, bool chChanged) {
    const bool back = shift & vbShiftMask;
    switch (code) {
    case vbKeyEscape:
        cancelEdit();
        return true;
    case vbKeyReturn:
    case vbKeyTab:
        commitEdit();
        moveNextStop(!back);
        return true;
    case vbKeyUp:
    case vbKeyDown:
        commitEdit();
        moveVertical(code == vbKeyUp ? -1 : 1);
        return true;
    case vbKeyLeft:
    case vbKeyRight:
        // Typing straight into a cell: the arrows leave it. Editing with F2
        // or a double-click: they move within the text.
        if (!quickEdit_) return false;
        commitEdit();
        moveHorizontal(code == vbKeyLeft ? -1 : 1);
        return true;
    case vbKeyPageUp:
    case vbKeyPageDown:
        commitEdit();
        movePage(code == vbKeyPageUp ? -1 : 1);
        return true;
    case vbKeyF2:
        quickEdit_ = false;
        return true;
    default:
        break;
    }
    if (ch >= 32) {
        if (!isAllowed(editCell_, ch)) return true;
        if (chChanged) {
            editor_->insert(fromCode(ch));
            return true;
        }
    }
    return false;
}

bool VoucherGrid::idleKey(int code, int shift, int ch) {
    const bool back = shift & vbShiftMask;
    const bool ctrl = shift & vbCtrlMask;
    switch (code) {
    case vbKeyReturn:
    case vbKeyTab:
        moveNextStop(!back);
        return true;
    case vbKeyUp:
    case vbKeyDown:
        moveVertical(code == vbKeyUp ? -1 : 1);
        return true;
    case vbKeyLeft:
    case vbKeyRight:
        moveHorizontal(code == vbKeyLeft ? -1 : 1);
        return true;
    case vbKeyHome:
        moveTo(firstStop(), ctrl ? 0 : curRow_);
        return true;
    case vbKeyEnd:
        moveTo(lastStop(), ctrl ? Rows() - 1 : curRow_);
        return true;
    case vbKeyPageUp:
    case vbKeyPageDown:
        movePage(code == vbKeyPageUp ? -1 : 1);
        return true;
    case vbKeyF2:
        beginEdit(EditStart::Caret);
        return true;
    case vbKeyDelete:
        if (shift == 0 && canEdit(curCell_, curRow_)) setCell(CurrentKey(), curRow_, QString());
        return true;
    default:
        break;
    }
    if (ch == vbKeyBack) {
        if (canEdit(curCell_, curRow_)) beginEdit(EditStart::Typing, QString());
        return true;
    }
    if (ch >= 32) {
        typeCharacter(ch);
        return true;
    }
    return false;
}

void VoucherGrid::typeCharacter(int ch) {
    if (!canEdit(curCell_, curRow_) || !isAllowed(curCell_, ch)) return;
    beginEdit(EditStart::Typing, fromCode(ch));
}

void VoucherGrid::inputMethodFromView(QInputMethodEvent* e) {
    const bool text = !e->commitString().isEmpty() || !e->preeditString().isEmpty();
    if (text && enabled_ && !editor_ && canEdit(curCell_, curRow_) && !layout_.cells[curCell_].numeric &&
        beginEdit(EditStart::Typing, QString()) && editor_) {
        QCoreApplication::sendEvent(editor_, e);
        return;
    }
    e->ignore();
}

// ---------------------------------------------------------------------------
// Editing

bool VoucherGrid::CellEditing() const { return !editor_.isNull(); }

void VoucherGrid::setCellEditing(bool editing) {
    if (editing)
        beginEdit(EditStart::Caret);
    else
        commitEdit();
}

bool VoucherGrid::beginEdit(EditStart how, const QString& typed) {
    if (editor_ || !canEdit(curCell_, curRow_)) return false;
    QPointer<VoucherGrid> self(this);
    emit CellBeginEdit();
    if (!self || editor_ || !canEdit(curCell_, curRow_)) return false;

    const QModelIndex idx = model_->indexOf(curCell_, curRow_);
    editCell_ = curCell_;
    editRow_ = curRow_;
    editOriginal_ = data_.cell(curRow_, curCell_);
    view_->scrollTo(idx);
    view_->edit(idx);
    if (!editor_) {
        editCell_ = editRow_ = -1;
        return false;
    }
    const auto& c = layout_.cells[editCell_];
    editor_->setFont(font());
    editor_->setMaxLength(c.maxLength > 0 ? c.maxLength : 32767);
    editor_->setAlignment(effectiveAlignment(c.alignment, c.format));
    if (c.numeric && c.amount) {
        static const QRegularExpression amountChars(QStringLiteral("[-\\x{2212}\\x{FF0D}]?[0-9\\x{FF10}-\\x{FF19},\\x{FF0C}]*"));
        editor_->setValidator(new QRegularExpressionValidator(amountChars, editor_));
    } else if (c.numeric) {
        static const QRegularExpression numberChars(QStringLiteral("[-0-9.]*"));
        editor_->setValidator(new QRegularExpressionValidator(numberChars, editor_));
    }
    editor_->setAttribute(Qt::WA_InputMethodEnabled, !c.numeric);
    editor_->setInputMethodHints(c.ime ? Qt::ImhNone : c.numeric ? Qt::ImhFormattedNumbersOnly : Qt::ImhPreferLatin);
    if (how == EditStart::Typing) {
        editor_->setText(typed);
        quickEdit_ = true;
    } else {
        editor_->setText(editOriginal_);
        quickEdit_ = false;
    }
    editor_->end(false);
    editor_->setFocus(Qt::OtherFocusReason);
    return true;
}

void VoucherGrid::editorCreated(QLineEdit* editor) { editor_ = editor; }

// Confirms the edit in progress: CellValue with the editor's text, then the
// value stored (raising CellChanged) unless it is the value the cell had
// when the edit began.
void VoucherGrid::commitEdit() {
    if (!editor_ || committing_) return;
    committing_ = true;
    QString value = editor_->text();
    const int cell = editCell_, row = editRow_;
    if (layout_.cells[cell].numeric && layout_.cells[cell].amount) value = PlainAmount(value);
    const QString original = editOriginal_;
    closeEditor();
    QPointer<VoucherGrid> self(this);
    emit CellValue(value);
    if (!self) return;
    committing_ = false;
    if (value != original && row >= 0 && row < Rows()) setCell(layout_.cells[cell].key, row, value);
}

void VoucherGrid::cancelEdit() { closeEditor(); }

void VoucherGrid::closeEditor() {
    QLineEdit* ed = editor_;
    editor_ = nullptr;
    editCell_ = editRow_ = -1;
    if (!ed) return;
    const bool hadFocus = ed->hasFocus() || (window() && window()->focusWidget() == ed);
    view_->closeEditorNow(ed);
    if (hadFocus) view_->setFocus(Qt::OtherFocusReason);
}

void VoucherGrid::editorFocusLost() {
    if (!editor_ || committing_) return;
    // Another application or a dialog of our own in front: keep editing.
    if (!editor_->isActiveWindow()) return;
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (w == editor_) return;
    commitEdit();
}

// ---------------------------------------------------------------------------
// Values

QString VoucherGrid::Cell(const QString& key, int row) const {
    int cell = keyIndex_.value(key, -1);
    if (cell < 0 || row < 0 || row >= Rows()) return QString();
    return data_.cell(row, cell);
}

QString VoucherGrid::DisplayText(const QString& key, int row) const {
    int cell = keyIndex_.value(key, -1);
    if (cell < 0) return QString();
    return FormatText(Cell(key, row), layout_.cells[cell].format);
}

void VoucherGrid::setCell(const QString& key, int row, const QString& value) {
    int cell = keyIndex_.value(key, -1);
    if (cell < 0) return;
    if (store(cell, row, value)) emit CellChanged(layout_.cells[cell].key, row);
}

bool VoucherGrid::store(int cell, int row, const QString& value) {
    if (cell < 0 || row < 0 || row >= Rows()) return false;
    if (!data_.setCell(row, cell, value)) return false;
    if (redraw_)
        model_->refreshCell(cell, row);
    else
        pendingRepaint_ = true;
    return true;
}

void VoucherGrid::cellsChanged(int firstRow, int lastRow) {
    if (redraw_)
        model_->refreshRows(firstRow, lastRow);
    else
        pendingRepaint_ = true;
}

void VoucherGrid::rowLookChanged(int row) { cellsChanged(row, row); }

void VoucherGrid::setRows(int rows) {
    commitEdit();
    rows = std::max(0, rows);
    if (rows == Rows()) return;
    model_->beginReset();
    data_.resize(rows);
    model_->endReset();
    applySpans();
    curRow_ = rows > 0 ? std::clamp(curRow_, 0, rows - 1) : 0;
    syncView();
}

int VoucherGrid::RowCount() const {
    for (int r = Rows() - 1; r >= 0; --r)
        if (!data_.rowEmpty(r)) return r + 1;
    return 0;
}

void VoucherGrid::ClearCells() {
    cancelEdit();
    data_.clearAll();
    cellsChanged(0, Rows() - 1);
}

void VoucherGrid::FillRows(int firstRow, std::vector<QStringList> rows) {
    cancelEdit();
    if (firstRow < 0) return;
    int last = -1;
    for (size_t k = 0; k < rows.size(); ++k) {
        const int row = firstRow + static_cast<int>(k);
        if (row >= Rows()) break;
        data_.setRow(row, std::move(rows[k]));
        last = row;
    }
    if (last >= 0) cellsChanged(firstRow, last);
}

void VoucherGrid::AppendRows(std::vector<QStringList> rows) {
    if (rows.empty()) return;
    const int first = Rows();
    const int lines = layout_.linesPerRow;
    model_->beginAppend(first * lines, (first + static_cast<int>(rows.size())) * lines - 1);
    for (const QStringList& values : rows) data_.appendPacked(values);
    model_->endAppend();
    appended(first);
}

void VoucherGrid::AppendRows(const PackedRows& rows) {
    if (rows.empty()) return;
    const int first = Rows();
    const int lines = layout_.linesPerRow;
    model_->beginAppend(first * lines, (first + rows.size()) * lines - 1);
    data_.append(rows);
    model_->endAppend();
    appended(first);
}

void VoucherGrid::appended(int first) {
    const int lines = layout_.linesPerRow;
    for (int r = first; r < Rows(); ++r)
        for (const auto& c : layout_.cells)
            if (c.span > 1) view_->setSpan(r * lines + c.line, c.column, 1, c.span);
    if (first == 0) syncView();
}

void VoucherGrid::Clear() {
    ClearCells();
    totals_.clear();
    for (auto& [f, l] : footerLabels_)
        if (!f.key.isEmpty()) l->setText(FormatText(f.text, f.format));
}

void VoucherGrid::InsertRow() {
    commitEdit();
    if (Rows() == 0) return;
    data_.insertEmpty(curRow_);
    data_.erase(Rows() - 1);
    cellsChanged(curRow_, Rows() - 1);
}

void VoucherGrid::DeleteRow() {
    commitEdit();
    if (Rows() == 0) return;
    data_.erase(curRow_);
    data_.resize(Rows() + 1);
    cellsChanged(curRow_, Rows() - 1);
}

void VoucherGrid::setTotal(const QString& value, const QString& key) {
    totals_.insert(key, value);
    for (auto& [f, l] : footerLabels_)
        if (f.key == key) l->setText(FormatText(value, f.format));
}

void VoucherGrid::setGridEnabled(bool enabled) {
    if (!enabled) commitEdit();
    enabled_ = enabled;
    view_->setEnabled(enabled);
    updateViewIme();
}

void VoucherGrid::setRedraw(bool redraw) {
    if (redraw == redraw_) return;
    redraw_ = redraw;
    view_->setUpdatesEnabled(redraw);
    if (redraw) {
        if (pendingRepaint_) model_->refreshRows(0, Rows() - 1);
        pendingRepaint_ = false;
        syncView();
    }
}

void VoucherGrid::setEditLock(int lock) {
    if (lock != 0) commitEdit();
    editLock_ = lock;
    updateViewIme();
}

QString VoucherGrid::SectionItemText(int section, int item) const {
    const QString k = QString::number(section) + QLatin1Char(':') + QString::number(item);
    if (section == 0 && item == 0 && !sectionItems_.contains(k)) return QStringLiteral("%n%");
    return sectionItems_.value(k);
}

void VoucherGrid::setSectionItemText(int section, int item, const QString& text) {
    sectionItems_.insert(QString::number(section) + QLatin1Char(':') + QString::number(item), text);
    if (section == 0 && item == 0) model_->refreshRowNumbers();
}

int VoucherGrid::ColumnDef(const QString& key, int item) const {
    return columnDefs_.value(key + QLatin1Char(':') + QString::number(item));
}

void VoucherGrid::setColumnDef(const QString& key, int item, int value) {
    columnDefs_.insert(key + QLatin1Char(':') + QString::number(item), value);
}

// ---------------------------------------------------------------------------
// Number formats: '#' and '0' digit places, ',' thousands separators, an
// optional '.' with decimal places. A zero whole part shows "0" only when
// the format has a '0' before the point ("##0"); with '#' only it shows
// nothing. Rounded half away from zero.
QString VoucherGrid::FormatText(const QString& raw, const QString& format) {
    if (format.isEmpty() || !IsNumeric(raw)) return raw;
    Currency value;
    try {
        value = Currency::FromText(raw);
    } catch (const AppError&) {
        return raw;
    }
    const int point = format.indexOf(QLatin1Char('.'));
    const QString wholeFormat = point < 0 ? format : format.left(point);
    const QString fracFormat = point < 0 ? QString() : format.mid(point + 1);
    const int decimals = std::min<int>(4, static_cast<int>(fracFormat.count(QLatin1Char('0')) + fracFormat.count(QLatin1Char('#'))));
    const int minDecimals = std::min<int>(decimals, static_cast<int>(fracFormat.count(QLatin1Char('0'))));
    const bool grouping = wholeFormat.contains(QLatin1Char(','));
    const bool zeroWhole = wholeFormat.contains(QLatin1Char('0'));

    int64_t unit = 1;
    for (int i = decimals; i < 4; ++i) unit *= 10;
    const bool negative = value.Raw() < 0;
    // Magnitude in units of the last decimal shown, rounded half away from zero.
    uint64_t mag = negative ? static_cast<uint64_t>(-(value.Raw() + 1)) + 1 : static_cast<uint64_t>(value.Raw());
    uint64_t q = mag / unit;
    if ((mag % unit) * 2 >= static_cast<uint64_t>(unit)) ++q;
    uint64_t fracScale = 1;
    for (int i = 0; i < decimals; ++i) fracScale *= 10;
    const uint64_t whole = q / fracScale;
    const uint64_t frac = q % fracScale;

    QString wholeText;
    if (whole != 0 || zeroWhole) {
        wholeText = QString::number(whole);
        if (grouping)
            for (int i = static_cast<int>(wholeText.size()) - 3; i > 0; i -= 3) wholeText.insert(i, QLatin1Char(','));
    }
    QString fracText;
    if (decimals > 0) {
        fracText = QString::number(frac).rightJustified(decimals, QLatin1Char('0'));
        while (fracText.size() > minDecimals && fracText.endsWith(QLatin1Char('0'))) fracText.chop(1);
    }
    QString out = wholeText;
    if (!fracText.isEmpty()) out += QLatin1Char('.') + fracText;
    if (negative && q != 0 && !out.isEmpty()) out.prepend(QLatin1Char('-'));
    return out;
}
