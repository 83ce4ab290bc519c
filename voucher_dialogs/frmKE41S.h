// The voucher list window "振替伝票一覧".
#pragma once
#include <QDialog>

class frmKE41S : public QDialog {
    Q_OBJECT
public:
    explicit frmKE41S(QWidget* parent = nullptr);
};
