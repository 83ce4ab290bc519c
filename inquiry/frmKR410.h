// The journal window "仕訳帳照会": every entered voucher line of the current
// branch and group in a range of voucher dates within one fiscal year, in
// date and voucher-number order. It opens on the whole open fiscal year; a
// line opens its voucher in the voucher entry program, and the journal is
// read again when that program ends. Closing the window ends the program.
#pragma once
#include "platform/DbValue.h"
#include "platform/RowCursor.h"

#include <QDate>
#include <QHash>
#include <QTimer>
#include <memory>
#include <QDialog>
#include <QString>
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

    // The journal's lines, read while the window is shown.
    void StopFill();
    void FillMore();
    void AppendLines(const std::vector<std::vector<DbValue>>& lines);
    static constexpr int kFirstLines = 200;
    static constexpr int kLinesPerTurn = 5000;
    std::unique_ptr<RowCursor> cursor_;
    QTimer* fillTimer_ = nullptr;
    QHash<long, QString> codeText_;
    long lastDate_ = 0;
    QString lastDateText_;

    bool activated_ = false;
};
