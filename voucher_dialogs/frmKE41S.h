// The voucher list window "振替伝票一覧": the live vouchers of the current
// branch and group that match the voucher search conditions, one row each,
// and the starting point for adding, changing, copying, deleting and
// printing a voucher. Adding and changing happen in the entry window, opened
// modally; the list is built again when it closes. Closing this window ends
// the program.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QPushButton;
class ListGrid;
class Panel3D;
class XlsReport;
class frmKE410;
class frmKE41H;

class frmKE41S : public QDialog {
    Q_OBJECT
public:
    explicit frmKE41S(QWidget* parent = nullptr);
    ~frmKE41S() override;

    // Controls.
    Panel3D* lblGrp = nullptr;
    Panel3D* Panel3D1[2] = {};
    ListGrid* spdMeisai = nullptr;
    QPushButton* cmdSel = nullptr;
    QPushButton* cmdPrn = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdUpd = nullptr;
    QPushButton* cmdIns = nullptr;
    QPushButton* cmdDel = nullptr;
    QPushButton* cmdEnd = nullptr;
    // Report handed to the voucher print (none: the print makes its own).
    XlsReport* xlrRep = nullptr;

    // How the modal children are shown: by default exec(); a test may drive
    // the window instead and close it.
    std::function<void(frmKE410&)> ShowEntryWindow;
    std::function<void(frmKE41H&)> ShowConditionDialog;
    // The voucher print call (basPrint::fncPrintVouchers).
    std::function<bool(XlsReport*, bool, long, long, long, long, long, long, long, long)> PrintVouchers;

    // Builds the list again from the search conditions.
    void ShowVoucherList();

    // Commands and events.
    void cmdIns_Click();
    void cmdUpd_Click();
    void cmdCopy_Click();
    void cmdDel_Click();
    void cmdSel_Click();
    void cmdPrn_Click();
    void cmdEnd_Click();
    void spdMeisai_DblClick(int Col, int Row);
    void spdMeisai_KeyDown(int& KeyCode, int& Shift);

protected:
    void done(int r) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_QueryUnload();
    void SetFormStyle();
    // Sets a column's width in the list's character units.
    // The active row of the list, or 0 after telling the user none is.
    int SelectedRow();
    // Opens the voucher of a row in the entry window with a mode, then
    // builds the list again.
    void OpenVoucher(int lngRow, const QString& strMode);
    void OpenEntryWindow();
    // Text of a cell of the list.
    QString CellText(int lngRow, int lngCol);
};
