// The search-condition dialog of the voucher list "振替伝票一覧　表示条件変更":
// voucher number range, voucher date and input date ranges (each switched on
// by its check box), person in charge, description fragment, settlement
// vouchers only and the sort order. It works on its own copy of the search
// conditions of basWKE410 and writes it back only on OK; the person chosen
// with "変更" is stored at once.
#pragma once
#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class imDate;
class imNumber;
class imText;
class Panel3D;

class frmKE41H : public QDialog {
    Q_OBJECT
public:
    explicit frmKE41H(QWidget* parent = nullptr);
    ~frmKE41H() override;

    // Controls.
    Panel3D* lblGrp = nullptr;
    Panel3D* lblCap[5] = {};
    imNumber* txtDenNoSt = nullptr;
    imNumber* txtDenNoEnd = nullptr;
    QCheckBox* cBoxDate = nullptr;
    imDate* txtDateSt = nullptr;
    imDate* txtDateEnd = nullptr;
    QCheckBox* cBoxNDate = nullptr;
    imDate* txtNDateSt = nullptr;
    imDate* txtNDateEnd = nullptr;
    QLabel* Label1[3] = {};
    Panel3D* lblTanto = nullptr;
    QPushButton* cmdTan = nullptr;
    imText* txtTekiyo = nullptr;
    QGroupBox* frmSort = nullptr;
    QRadioButton* optSort[3] = {};
    QCheckBox* chkKessan = nullptr;
    QPushButton* cmdSel = nullptr;
    QPushButton* cmdEnd = nullptr;
    QPushButton* cmdDefault = nullptr;
    Panel3D* Panel3D1[2] = {};

    // The working copy of the search conditions.
    int UseDate = 1;
    int UseNDate = 0;
    long DenNoSt = 0;
    long DenNoEnd = 99999999;
    long DateSt = 0;
    long DateEnd = 0;
    long NDateSt = 0;
    long NDateEnd = 0;
    QString Tekiyo;
    long Kessan = 0;
    int Sort = 0;
    long TanCd = 0;

    // Shows the working copy in the controls.
    void ShowConditions();

    // Commands and events.
    void cBoxDate_Click();
    void cBoxNDate_Click();
    void cmdDefault_Click();
    void cmdTan_Click();
    void cmdSel_Click();
    void cmdEnd_Click();
    // Key helpers of the sort options and the settlement box: Down (Up)
    // moves on (back) as Tab (Shift+Tab) does, Enter moves on; the key is
    // then swallowed (set to 0).
    void MoveFocusOnArrowKey(int& KeyCode);
    void MoveFocusOnEnter(int& KeyAscii);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    void SetFormStyle();
    void LoadHolidays(imDate* field, int year);
    void SendTab(bool forward);
    // The number of a field, or `previous` when the field is empty.
    static long NumberOr(const imNumber* field, long previous);
    // The yyyymmdd number of a date field, or `previous` when it holds no date.
    static long DateOr(const imDate* field, long previous);
};
