#include "platform/GridRows.h"

#include <algorithm>
#include <cstring>

namespace {

// Cells of a packed row end in kCellEnd, the row in kRowEnd.
constexpr char kCellEnd = '\x1f';
constexpr char kRowEnd = '\x1e';

// UTF-8 of a text written at `out`; returns the end. Up to 3 bytes a
// UTF-16 unit.
char* PutUtf8(char* out, const QString& text) {
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && p < end && *p >= 0xDC00 && *p < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
        if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool HasSeparator(const QString& text) {
    for (QChar ch : text)
        if (ch == QLatin1Char(kCellEnd) || ch == QLatin1Char(kRowEnd)) return true;
    return false;
}

}  // namespace

void PackedRows::cell(std::string_view utf8) {
    if (!cellStarts_.empty()) text_ += kCellEnd;
    cellStarts_.push_back(text_.size());
    if (utf8.find_first_of(std::string_view("\x1f\x1e", 2)) != std::string_view::npos) looseRow_ = true;
    text_.append(utf8);
}

void PackedRows::endRow() {
    const std::size_t start = ends_.empty() ? 0 : ends_.back();
    if (looseRow_) {
        QStringList values;
        for (std::size_t c = 0; c < cellStarts_.size(); ++c) {
            const std::size_t e = c + 1 < cellStarts_.size() ? cellStarts_[c + 1] - 1 : text_.size();
            values << QString::fromUtf8(text_.data() + cellStarts_[c], static_cast<qsizetype>(e - cellStarts_[c]));
        }
        loose_.emplace_back(size(), std::move(values));
        text_.resize(start);
        looseRow_ = false;
    } else {
        text_ += kRowEnd;
    }
    ends_.push_back(text_.size());
    cellStarts_.clear();
}

const char* GridRows::packedText(Slot s) const {
    const Slot v = s >> 1;
    return blocks_[static_cast<std::size_t>(v >> 32)].get() + static_cast<std::size_t>(v & 0xFFFFFFFFu);
}

GridRows::Slot GridRows::newLoose(QStringList values) {
    values.resize(cells_);
    std::size_t i;
    if (!freeLoose_.empty()) {
        i = freeLoose_.back();
        freeLoose_.pop_back();
        loose_[i] = std::move(values);
    } else {
        i = loose_.size();
        loose_.push_back(std::move(values));
    }
    return static_cast<Slot>(i + 1) << 1;
}

void GridRows::release(Slot& s) {
    if (s == 0) return;
    if (isPacked(s)) {
        // The block space stays until no packed row is left.
        if (--packed_ == 0) {
            blocks_.clear();
            used_ = blockSize_ = 0;
        }
    } else {
        const std::size_t i = (s >> 1) - 1;
        loose_[i] = QStringList();
        freeLoose_.push_back(i);
    }
    s = 0;
}

QString GridRows::cell(int row, int cell) const {
    const Slot s = rows_[static_cast<std::size_t>(row)];
    if (s == 0 || cell < 0 || cell >= cells_) return QString();
    if (!isPacked(s)) return loose(s).value(cell);
    const char* p = packedText(s);
    for (int i = 0; i < cell; ++i) {
        while (*p != kCellEnd && *p != kRowEnd) ++p;
        if (*p == kRowEnd) return QString();
        ++p;
    }
    const char* e = p;
    while (*e != kCellEnd && *e != kRowEnd) ++e;
    return e == p ? QString() : QString::fromUtf8(p, e - p);
}

QStringList GridRows::row(int row) const {
    QStringList values;
    values.reserve(cells_);
    for (int c = 0; c < cells_; ++c) values << cell(row, c);
    return values;
}

bool GridRows::rowEmpty(int row) const {
    const Slot s = rows_[static_cast<std::size_t>(row)];
    if (s == 0) return true;
    if (isPacked(s)) {
        for (const char* p = packedText(s); *p != kRowEnd; ++p)
            if (*p != kCellEnd) return false;
        return true;
    }
    for (const QString& v : loose(s))
        if (!v.isEmpty()) return false;
    return true;
}

void GridRows::unpack(int row) {
    Slot& s = rows_[static_cast<std::size_t>(row)];
    if (s != 0 && !isPacked(s)) return;
    QStringList values = s == 0 ? QStringList() : this->row(row);
    release(s);
    s = newLoose(std::move(values));
}

bool GridRows::setCell(int row, int cell, const QString& value) {
    if (cell < 0 || cell >= cells_) return false;
    if (this->cell(row, cell) == value) return false;
    unpack(row);
    loose(rows_[static_cast<std::size_t>(row)])[cell] = value;
    return true;
}

void GridRows::setRow(int row, QStringList values) {
    Slot& s = rows_[static_cast<std::size_t>(row)];
    release(s);
    s = newLoose(std::move(values));
}

void GridRows::appendPacked(const QStringList& values) {
    std::size_t most = 1;
    const int n = std::min<int>(cells_, static_cast<int>(values.size()));
    for (int c = 0; c < n; ++c) {
        if (HasSeparator(values[c])) {
            rows_.push_back(newLoose(values));
            return;
        }
        most += static_cast<std::size_t>(values[c].size()) * 3 + 1;
    }
    if (blocks_.empty() || used_ + most > blockSize_) {
        blockSize_ = std::max(kBlock, most);
        blocks_.push_back(std::make_unique<char[]>(blockSize_));
        used_ = 0;
    }
    char* start = blocks_.back().get() + used_;
    char* out = start;
    for (int c = 0; c < n; ++c) {
        if (c > 0) *out++ = kCellEnd;
        out = PutUtf8(out, values[c]);
    }
    *out++ = kRowEnd;
    const Slot at = (static_cast<Slot>(blocks_.size() - 1) << 32) | used_;
    used_ += static_cast<std::size_t>(out - start);
    rows_.push_back(at << 1 | 1);
    ++packed_;
}

void GridRows::putPacked(const char* text, std::size_t size) {
    if (blocks_.empty() || used_ + size > blockSize_) {
        blockSize_ = std::max(kBlock, size);
        blocks_.push_back(std::make_unique<char[]>(blockSize_));
        used_ = 0;
    }
    std::memcpy(blocks_.back().get() + used_, text, size);
    const Slot at = (static_cast<Slot>(blocks_.size() - 1) << 32) | used_;
    used_ += size;
    rows_.push_back(at << 1 | 1);
    ++packed_;
}

void GridRows::append(const PackedRows& rows) {
    auto loose = rows.loose_.begin();
    std::size_t start = 0;
    for (int r = 0; r < rows.size(); ++r) {
        const std::size_t end = rows.ends_[static_cast<std::size_t>(r)];
        if (loose != rows.loose_.end() && loose->first == r) rows_.push_back(newLoose((loose++)->second));
        else putPacked(rows.text_.data() + start, end - start);
        start = end;
    }
}

void GridRows::resize(int rows) {
    const std::size_t n = static_cast<std::size_t>(std::max(0, rows));
    for (std::size_t r = n; r < rows_.size(); ++r) release(rows_[r]);
    rows_.resize(n, 0);
    if (n == 0) {
        rows_.shrink_to_fit();
        loose_.clear();
        freeLoose_.clear();
    }
}

void GridRows::clearAll() {
    for (Slot& s : rows_) release(s);
}

void GridRows::insertEmpty(int row) { rows_.insert(rows_.begin() + row, Slot(0)); }

void GridRows::erase(int row) {
    release(rows_[static_cast<std::size_t>(row)]);
    rows_.erase(rows_.begin() + row);
}
