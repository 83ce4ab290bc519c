#include "inquiry/basKR430.h"

#include "common/basStdComm.h"
#include "inquiry/frmKR430.h"

#include <QApplication>

using namespace basStdComm;

namespace basKR430 {

AutoNew<VoucherOpener> gobjVoucherOpener;

bool Main() {
    try {
        // An inquiry only reads: an empty database file is left as it is.
        gobjDB->SetEmptyFileAllowed(false);
        if (!fncStartUp()) {
            ShowErrMsg();
            return false;
        }
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return false;
    }
    auto* form = new frmKR430();
    form->setAttribute(Qt::WA_DeleteOnClose);
    // Closing the window ends the program.
    QObject::connect(form, &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    form->show();
    return true;
}

}  // namespace basKR430
