// The template selection dialog "定例仕訳呼出": lists the voucher templates of
// the current branch and group (settlement templates marked "○") and copies
// the chosen one into the entry window: its voucher description, settlement
// box and lines. Each stored line goes to grid row (line number - 1) on its
// own side, with the names of account, sub-accounts, tax code and partner
// looked up again for the fiscal year the entry window shows. The entry
// window's cell rules stay quiet while the grid is filled (gblnLoading);
// only the totals are recomputed afterwards. The dialog closes after a
// successful copy.
#pragma once
#include <QDialog>

class QPushButton;
class ListGrid;
class Panel3D;
class frmKE410;

class frmKE41Y : public QDialog {
    Q_OBJECT
public:
    // entry: the entry window that receives the template; also the parent.
    explicit frmKE41Y(frmKE410* entry);
    ~frmKE41Y() override;

    // Controls.
    ListGrid* spdMeisai = nullptr;
    QPushButton* cmdSel = nullptr;
    QPushButton* cmdEnd = nullptr;
    Panel3D* lblGrp = nullptr;
    Panel3D* Panel3D1[2] = {};

    // List columns.
    enum { colKbn = 1, colKey = 2, colName = 3, colTekiyo = 4, colCount = 4 };

    // Fills the list from TSHMF.
    void ShowTemplateList();
    // Copies the template with this key into the entry window; True when it
    // was loaded.
    bool fncLoadTemplate(long& lngKey);

    // Commands and list events.
    void cmdSel_Click();
    void cmdEnd_Click();
    void spdMeisai_DblClick(int Col, int Row);
    void spdMeisai_KeyDown(int& KeyCode, int& Shift);

private:
    void BuildControls();
    void Form_Load();
    void SetFormStyle();
    void SelectRow(int lngRow);

    frmKE410* entry_;
};
