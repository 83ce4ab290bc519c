#include "voucher_dialogs/frmKE41S.h"

frmKE41S::frmKE41S(QWidget* parent) : QDialog(parent) { setWindowTitle(QString::fromUtf8("振替伝票一覧")); }
