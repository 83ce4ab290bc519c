// The description master dialog "摘要登録": adds one standard description
// to the branch's description master TEKMF under a code (1 to 9999) and a
// sort key. The text to register is handed over in basWKE410::gstrTekiyo.
// The dialog only inserts: an existing code is refused, never overwritten.
#pragma once
#include <QDialog>

class QPushButton;
class imNumber;
class imText;
class Panel3D;

class frmKE41D : public QDialog {
    Q_OBJECT
public:
    explicit frmKE41D(QWidget* parent = nullptr);
    ~frmKE41D() override;

    // Controls.
    imNumber* txtCd = nullptr;
    QPushButton* txtSaiban = nullptr;
    imText* txtName = nullptr;
    imNumber* txtSort = nullptr;
    QPushButton* cmdUpd = nullptr;
    QPushButton* cmdEnd = nullptr;
    Panel3D* lblGrp = nullptr;
    Panel3D* lblMode = nullptr;
    Panel3D* lblCap[3] = {};
    Panel3D* Panel3D1[2] = {};

    // Input checks and the duplicate check.
    bool fncCheckDescription();
    // The INSERT.
    bool fncInsertDescription();

    // Commands and events.
    void cmdUpd_Click();
    void cmdEnd_Click();
    void txtSaiban_Click();
    void txtCd_LostFocus();

private:
    void BuildControls();
    void Form_Load();
    void SetFormStyle();
    void Refuse(const QString& text, QWidget* field);
};
