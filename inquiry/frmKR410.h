// The journal window "仕訳帳照会": every entered voucher line of the current
// branch and group in a range of voucher dates within one fiscal year, in
// date and voucher-number order. It opens on the whole open fiscal year; a
// line opens its voucher in the voucher entry program, and the journal is
// read again when that program ends. Closing the window ends the program.
#pragma once
#include "platform/AppError.h"
#include "platform/GridRows.h"
#include "platform/RowCursor.h"

#include <QDate>
#include <QTimer>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <QDialog>
#include <QString>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QPushButton;
class imDate;
class imFieldBase;
class Panel3D;
class VoucherGrid;

class frmKR410 : public QDialog {
    Q_OBJECT
public:
    explicit frmKR410(QWidget* parent = nullptr);
    ~frmKR410() override;

    // Controls.
    Panel3D* lblGrp = nullptr;
    Panel3D* lblCap = nullptr;  // 伝票日付
    imDate* txtDateS = nullptr;
    imDate* txtDateE = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdView = nullptr;
    QPushButton* cmdEnd = nullptr;
    VoucherGrid* DenMain = nullptr;
    Panel3D* Panel3D1[2] = {};

    // Form state.
    bool blnCanUpdate = false;
    // Voucher date yyyymmdd of each grid row.
    std::vector<long> lngRowDenDate;

    // First activation: group caption, permission, the open fiscal year as
    // the date range and, when both ends were found, the journal at once.
    // Later calls do nothing.
    void Form_Activate();

    // The journal of the dates on screen.
    bool fncShowJournal();
    // The journal of the dates given: checks them, reads the lines and fills
    // the grid. True when rows were shown.
    bool fncLoadJournal(const QDate& dtStart, const QDate& dtEnd);

    // Commands and events.
    void cmdView_Click();
    void cmdEnd_Click();
    void OpenVoucher();
    void DenMain_OpenRow();
    void DenMain_KeyDown(int& KeyCode, int& Shift);
    void txtDateS_LoadHolidays();
    void txtDateS_LoadHolidaysForYear(int year);
    void txtDateE_LoadHolidays();
    void txtDateE_LoadHolidaysForYear(int year);

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_QueryUnload();
    void SetFormStyle();
    void Unload();
    void Warn(const QString& text, imFieldBase* field = nullptr);

    // The journal's lines, read while the window is shown. From a book file
    // each month of the range is read on its own connection, a few at a
    // time on threads of their own, and shown in date order as they come;
    // from a server the whole range comes a batch at a time.
    struct LineBatch {
        PackedRows rows;
        std::vector<long> dates;
    };
    struct LinePacker {
        int cell[11] = {};  // grid cell of each shown value
        long lastDate = 0;
        std::string lastDateText;
        bool anyDate = false;
    };
    struct Part {
        std::unique_ptr<RowCursor> cursor;
        LinePacker packer;
        std::deque<LineBatch> ready;  // under readyLock_
        bool done = false;            // under readyLock_
    };
    void StopFill();
    void FillDone();
    void FillMore();
    void TakeReady();
    void ReadAhead();
    void AppendLines(const LineBatch& batch);
    static void PackLines(RowCursor& cursor, int max, LinePacker& packer, LineBatch& batch);
    static constexpr int kFirstLines = 200;
    static constexpr int kLinesPerTurn = 5000;
    static constexpr int kBatchesPerTurn = 4;
    static constexpr int kReaders = 4;
    std::vector<Part> parts_;
    size_t takePart_ = 0;
    QTimer* fillTimer_ = nullptr;
    std::vector<std::thread> readers_;
    std::atomic<bool> stopReading_{false};
    std::mutex readyLock_;
    std::optional<AppError> readError_;

    bool activated_ = false;
};
