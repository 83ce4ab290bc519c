// The voucher entry window "振替伝票入力": one transfer voucher with its
// header fields and the 50-row voucher grid, opened in one of five modes
// (I add, U change, C add as copy, D delete, S reference).
#pragma once
#include "platform/Currency.h"
#include "platform/DBAccess.h"

#include <QDialog>
#include <QString>
#include <set>
#include <tuple>

class QCheckBox;
class QLabel;
class QPushButton;
class QShortcut;
class imDate;
class imNumber;
class imText;
class Panel3D;
class VoucherGrid;

class frmKE410 : public QDialog {
    Q_OBJECT
public:
    explicit frmKE410(QWidget* parent = nullptr);
    ~frmKE410() override;

    // Recomputes the footer totals (amount plus tax of every row).
    void subTatekei();
    // Tax of an amount under a tax code at the voucher date; lowers the
    // amount by the tax for tax-included codes.
    Currency fncTaxCalc(Currency& curKin, long& lngZeiCd);

    // Controls (the template dialogs read and write the grid, the
    // description and the settlement box directly).
    imNumber* txtDenno = nullptr;
    imDate* txtDate = nullptr;
    imDate* txtNDate = nullptr;
    imText* txtDTekiyo = nullptr;
    Panel3D* lblCap[5] = {};
    Panel3D* lblTanto = nullptr;
    Panel3D* lblNendo = nullptr;
    Panel3D* lblGrp = nullptr;
    Panel3D* lblMode = nullptr;
    Panel3D* Panel3D1[2] = {};
    QLabel* Label1 = nullptr;
    QCheckBox* chkKbn = nullptr;
    VoucherGrid* denMeisai = nullptr;
    QPushButton* cmdUpd = nullptr;
    QPushButton* cmdPrn = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdPrev = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdJump = nullptr;
    QPushButton* cmdPRead = nullptr;
    QPushButton* cmdPUpd = nullptr;
    QPushButton* cmdTeki = nullptr;
    QPushButton* cmdTan = nullptr;
    QPushButton* cmdEnd = nullptr;

    // Form state.
    bool blnChanged = false;
    bool blnLoadError = false;
    QString varOldKin;

    // Commands (buttons and keys call these).
    void cmdUpd_Click();
    void cmdPrn_Click();
    void cmdAdd_Click();
    void cmdPrev_Click();
    void cmdNext_Click();
    void cmdJump_Click();
    void cmdPRead_Click();
    void cmdPUpd_Click();
    void cmdTeki_Click();
    void cmdTan_Click();
    void cmdEnd_Click();

    // Validation and writers.
    bool fncCheckVoucher();
    bool fncSaveVoucher();
    bool fncRemoveOldVoucher();
    bool fncDeleteVoucher();
    bool fncSaveChanges();
    bool LoadVoucher();
    bool CheckLoadedVoucherLive();
    bool fncRefreshGridNames();
    void subRefreshTaxNames();

    // Grid events.
    void denMeisai_CellChanged(const QString& key, int row);
    void denMeisai_RememberAmount();
    void denMeisai_RecheckAmount(QString& value);
    void denMeisai_KeyDown(int& keyCode, int& shift);
    void denMeisai_KeyPress(int& keyAscii);
    void denMeisai_CellEnter(const QString& key);

    // Header events.
    // On leaving the voucher date; false when the date lies in no fiscal
    // period (the message is shown and the date has the focus again).
    bool ApplyVoucherDate();
    void ClearVoucherScreen();
    void LockVoucherInput();
    void LockUpdateButtons();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_Activate();
    bool Form_QueryUnload();
    void InitEntryScreen();
    void SetDefaultVoucherDate();
    void SetFormStyle();
    void PrintCurrentVoucher(long lngWhen);
    bool AskSaveChanges();
    void LoadNeighbour(bool next);
    void ProposeNumberAndMonth();
    void ShowModeState();
    static bool MayChangeVouchers();
    void EnterAddMode();
    void SearchGridCode();
    bool CheckHalf(int row, const QString& side);
    bool CheckWholeAmounts();
    void FocusCell(const QString& key, int row);
    void Unload();
    void txtDTekiyo_KeyDown(int& keyCode, int shift);
    void LoadHolidays(imDate* field, int year);

    void ShowDescriptionDialog();
    bool SaveInTransaction();
    bool TakeInputInProgress();
    void NextNewVoucher();
    void StandOnSavedVoucher(const QString& mode);
    bool ChangeNeedsNewNumber(long month, long nendo);
    void NoticeRenumbering();
    void NoticeNumberMovedOn();
    RecordsetPtr OpenLoadedHeader();
    QString StoredVoucherImage(long ym, long no);
    bool MarkedDeleted(long ym, long no);
    void ShowStaleNotice();
    // What a save changes on screen before its commit (the changed flag, the
    // number and the header description), put back when the save fails
    // anywhere up to and with the commit.
    struct ScreenBeforeSave {
        bool changed;
        QString denno;
        QString dtekiyo;
    };
    ScreenBeforeSave KeepScreenBeforeSave() const;
    void RestoreScreenBeforeSave(const ScreenBeforeSave& before);

    bool activated_ = false;
    bool budgetOn_ = false;
    long budgetYear_ = 0;
    // The accounts and sub-accounts (account, sub 1, sub 2) the check of
    // the voucher found usable so far: each is asked of the database once.
    std::set<std::tuple<long, long, long>> usableKeys_;
    bool unloading_ = false;
    bool renumberNoticed_ = false;
    bool numberMovedOn_ = false;  // the last save's number differs from the one shown, taken meanwhile
    // The stored voucher as it was loaded (StoredVoucherImage).
    QString loadedImage_;
    // Why the save found the loaded voucher gone or changed; shown after
    // the roll-back.
    QString staleNotice_;
};
