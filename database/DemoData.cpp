#include "database/DemoData.h"

namespace DemoData {

bool Fill(DBAccess& db, const QDate& today) {
    (void)today;
    return db.Execute("INSERT INTO CNTMF (CNT_KEY, CNT_KIKBN, CNT_KUMINAME) VALUES (1, 0, 'demo')");
}

}  // namespace DemoData
