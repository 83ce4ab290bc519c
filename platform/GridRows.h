// GridRows: the cell values of a grid's rows, one text per cell. A row
// the program changes is kept as a list of texts; rows appended in bulk
// are packed, their cells' UTF-8 one after another in large shared blocks,
// so that a long read-only list costs little more than its text. Reading
// a packed cell decodes it; writing one unpacks the row first.
#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Rows packed for GridRows::append away from the grid (for example on the
// thread that reads them): each row's cells as UTF-8, one after another.
class PackedRows {
public:
    // The next cell of the row being made.
    void cell(std::string_view utf8);
    // The row made of the cells given since the last one.
    void endRow();
    int size() const { return static_cast<int>(ends_.size()); }
    bool empty() const { return ends_.empty(); }

private:
    friend class GridRows;
    std::string text_;
    std::vector<std::size_t> ends_;  // where each row's text ends
    // Rows holding a separator character are kept as texts: (row, cells).
    std::vector<std::pair<int, QStringList>> loose_;
    std::vector<std::size_t> cellStarts_;  // of the row being made
    bool looseRow_ = false;
};

class GridRows {
public:
    void setCellCount(int cells) { cells_ = cells; }
    int size() const { return static_cast<int>(rows_.size()); }

    QString cell(int row, int cell) const;
    // Stores the value; false when the cell already held it.
    bool setCell(int row, int cell, const QString& value);
    QStringList row(int row) const;
    bool rowEmpty(int row) const;
    void setRow(int row, QStringList values);
    // A row added at the end, packed.
    void appendPacked(const QStringList& values);
    // Rows packed elsewhere, added at the end.
    void append(const PackedRows& rows);

    // Rows added at the end or dropped from it; new rows are empty.
    void resize(int rows);
    void clearAll();
    // An empty row put in before `row`; the row at `row` taken out.
    void insertEmpty(int row);
    void erase(int row);
    void reserve(int rows) { rows_.reserve(static_cast<size_t>(rows)); }
    void fit() { rows_.shrink_to_fit(); }

private:
    // A row: 0 empty; odd: a packed row ((block << 32 | offset) << 1 | 1);
    // even: (index into loose_ + 1) << 1.
    using Slot = std::uint64_t;
    static constexpr std::size_t kBlock = 1 << 20;
    static bool isPacked(Slot s) { return s & 1; }
    const char* packedText(Slot s) const;
    QStringList& loose(Slot s) { return loose_[(s >> 1) - 1]; }
    const QStringList& loose(Slot s) const { return loose_[(s >> 1) - 1]; }
    Slot newLoose(QStringList values);
    void release(Slot& s);
    void unpack(int row);
    void putPacked(const char* text, std::size_t size);

    int cells_ = 0;
    std::vector<Slot> rows_;
    std::vector<QStringList> loose_;
    std::vector<std::size_t> freeLoose_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0;       // bytes used in the last block
    std::size_t blockSize_ = 0;  // size of the last block
    std::size_t packed_ = 0;     // packed rows still in use
};
