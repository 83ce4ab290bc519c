// The ledger window "元帳照会": the voucher lines of one account, optionally
// narrowed to a sub-account 1 and a sub-account 2, over a range of months of
// one fiscal year, with the carried-forward balance in row 0, the running
// balance on every line and the totals in the footer. A line opens its
// voucher in the voucher entry program; the ledger is read again when that
// program ends. Closing the window ends the program.
#pragma once
#include "platform/Currency.h"
#include "platform/DBAccess.h"

#include <QDate>
#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class imDate;
class imFieldBase;
class imNumber;
class Panel3D;
class VoucherGrid;
class XlsReport;

class frmKR430 : public QDialog {
    Q_OBJECT
public:
    explicit frmKR430(QWidget* parent = nullptr);
    ~frmKR430() override;

    // Controls.
    Panel3D* lblGrp = nullptr;
    Panel3D* lblCap[4] = {};  // 伝票日付, 科目, 補助科目１, 補助科目２
    imDate* txtDateS = nullptr;
    imDate* txtDateE = nullptr;
    imNumber* txtKmkCd = nullptr;
    imNumber* txtHk1Cd = nullptr;
    imNumber* txtHk2Cd = nullptr;
    Panel3D* lblKmkNm = nullptr;
    Panel3D* lblHk1Nm = nullptr;
    Panel3D* lblHk2Nm = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdView = nullptr;
    QPushButton* cmdPrn = nullptr;
    QPushButton* cmdEnd = nullptr;
    VoucherGrid* DenMain = nullptr;
    Panel3D* Panel3D1[2] = {};
    // Report control handed to the ledger report.
    XlsReport* xlrRep = nullptr;

    // Form state.
    long lngGrpKbn = 0;
    bool blnCanUpdate = false;
    long lngStartNendo = 0;
    bool blnKmkChanged = false;
    bool blnHk1Changed = false;
    bool blnHk2Changed = false;
    // Voucher date yyyymmdd of each grid row (0 for the carried-forward row).
    std::vector<long> lngRowDenDate;

    // First activation: group caption, permission, default date range.
    // Later calls do nothing.
    void Form_Activate();

    // The ledger of the conditions on screen.
    bool fncShowLedger();
    // The ledger of the conditions given: checks them, reads the lines and
    // fills the grid. True when rows were shown.
    bool fncLoadLedger(const QDate& dtStart, const QDate& dtEnd, long lngKmkCd, long lngHk1Cd, long lngHk2Cd);
    // Balance at the start of month `lngYm` of the account, or of its
    // sub-account 1, or of its sub-account 2 (branch or group 0: the current
    // one). blnFound false when there is no balance row. False after an
    // error (reported).
    bool fncGetOpeningBalance(Currency& curZan, long lngYm, long lngKmkCd, long lngHk1Cd, long lngHk2Cd,
                              long lngSskCd, long lngGrpCd, bool& blnFound);
    // Value of a field of the first row; false when there is none (or no
    // recordset). The recordset is closed in every case.
    bool fncGetField(RecordsetPtr rs, const QString& strField, DbValue& varValue);

    // Ledger level of the report: 3 account, sub-account 1 and 2; 2 account
    // and sub-account 1; 1 account only; 0 none.
    int fncGetLedgerLevel() const;

    // Commands and events.
    void cmdView_Click();
    void cmdPrn_Click();
    void cmdEnd_Click();
    // The ledger report of the conditions on screen, previewed.
    void fncPrintLedger();
    void OpenVoucher();
    void DenMain_OpenRow();
    void DenMain_KeyDown(int& KeyCode, int& Shift);
    void txtDateS_Change();
    void txtKmkCd_KeyDown(int& KeyCode, int Shift);
    void txtHk1Cd_KeyDown(int& KeyCode, int Shift);
    void txtHk2Cd_KeyDown(int& KeyCode, int Shift);
    void txtKmkCd_LostFocus();
    void txtHk1Cd_LostFocus();
    void txtHk2Cd_LostFocus();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_QueryUnload();
    void SetFormStyle();
    void Unload();
    // An input error: OK box titled with the window caption, then the focus
    // to the field (none: stays).
    void Warn(const QString& text, imFieldBase* field = nullptr, int icon = 0);

    bool activated_ = false;
    // Owns xlrRep.
    std::unique_ptr<XlsReport> report_;
};
