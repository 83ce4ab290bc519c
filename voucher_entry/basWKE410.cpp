#include "voucher_entry/basWKE410.h"

#include "common/basStdComm.h"

using namespace basStdComm;

namespace basWKE410 {

int Main() {
    try {
        if (!fncStartUp()) {
            ShowErrMsg();
            return 1;
        }
    } catch (const AppError& e) {
        ShowErrMsg(e);
        return 1;
    }
    EndSystem();
    return 0;
}

}  // namespace basWKE410
