// The template registration dialog "定例仕訳登録": stores the voucher on the
// entry window as a reusable template under a key of the current branch and
// group: a header row in TSHMF (name, voucher description, list order,
// normal or settlement kind) and one TSMMF row per used debit or credit half
// of the grid. Halves are numbered per side (the n-th used debit half is
// debit line n), so a loaded template places them on row n. An existing key
// is overwritten after a question, the old rows deleted and the new ones
// inserted in one transaction.
#pragma once
#include <QDialog>

class QGroupBox;
class QPushButton;
class QRadioButton;
class frmKE410;
class imNumber;
class imText;
class Panel3D;

class frmKE41T : public QDialog {
    Q_OBJECT
public:
    // entry: the entry window whose voucher is stored; also the parent.
    explicit frmKE41T(frmKE410* entry);
    ~frmKE41T() override;

    // Controls.
    imNumber* txtKey = nullptr;
    QPushButton* txtSaiban = nullptr;
    imText* txtName = nullptr;
    imNumber* txtSort = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optKbn[2] = {};
    imText* txtDTekiyo = nullptr;
    QPushButton* cmdUpd = nullptr;
    QPushButton* cmdEnd = nullptr;
    Panel3D* lblGrp = nullptr;
    Panel3D* lblCap[5] = {};
    Panel3D* Panel3D1[2] = {};

    // Input checks and the overwrite question.
    bool fncCheckTemplate();
    // Removes the rows of the key (header and lines).
    bool fncDeleteTemplate();
    // Writes the lines, then the header.
    bool fncInsertTemplate();

    // Commands and events.
    void cmdUpd_Click();
    void cmdEnd_Click();
    void txtSaiban_Click();
    void txtKey_LostFocus();
    void optKbn_KeyDown(int& KeyCode);
    void optKbn_KeyPress(int& KeyAscii);
    // Down (Up) moves on (back) as Tab (Shift+Tab) does; the key is then
    // swallowed (set to 0).
    void MoveFocusOnArrowKey(int& KeyCode);
    // Enter moves on as Tab does and is swallowed.
    void MoveFocusOnEnter(int& KeyAscii);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    void SetFormStyle();
    void SendTab(bool forward);
    // Inserts the template line of one side of grid row r.
    bool InsertLine(int r, const QString& side, int lngGyo);

    frmKE410* entry_;
};
