// The jump dialog "指定伝票へｼﾞｬﾝﾌﾟ" of the voucher entry window: the user
// names a stored voucher by its numbering period (a month "yyyy/mm" or a
// fiscal year "yyyy", as the branch numbers its vouchers) and its number.
// On OK the voucher is looked up, the mode it may be opened in is decided
// ("U" change, or "S" reference when its period is closed) and handed back
// with its key through the hand-over variables of basWKE410:
// gblnJumpDone, gstrEditMode, glngDenNendo, glngDenYm, glngDenNo. Nothing is
// written to the database. Cancel leaves gblnJumpDone False and every other
// variable as it was.
#pragma once
#include <QDialog>

class QPushButton;
class frmKE410;
class imDate;
class imNumber;
class Panel3D;

class frmKE41J : public QDialog {
    Q_OBJECT
public:
    // entry: the entry window whose grid is unlocked for a voucher handed
    // back in change mode (may be null); it is also the dialog's parent.
    explicit frmKE41J(frmKE410* entry);
    ~frmKE41J() override;

    // Controls.
    imDate* txtDate = nullptr;
    imNumber* txtDenno = nullptr;
    QPushButton* cmdUpd = nullptr;
    QPushButton* cmdEnd = nullptr;
    Panel3D* lblGrp = nullptr;
    Panel3D* lblCap[2] = {};
    Panel3D* Panel3D1[2] = {};

    // The branch's numbering unit: 0 voucher numbers per accounting month,
    // 1 per fiscal year.
    long lngSbanKbn = 0;

    // Commands.
    void cmdUpd_Click();
    void cmdEnd_Click();

private:
    void BuildControls();
    void Form_Load();
    void SetFormStyle();
    void Refuse(const QString& text, QWidget* field);

    frmKE410* entry_;
};
