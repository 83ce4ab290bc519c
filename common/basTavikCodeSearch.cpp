#include "common/basTavikCodeSearch.h"

#include "common/basStdComm.h"
#include "platform/CodeSearch.h"

namespace basTavik {

QVariant gvarSearchResult[20];

bool FncShowCodeSearch(const QString& kind, QVariant p1, QVariant p2, QVariant p3, QVariant p4, QVariant p5,
                       QVariant p6, QVariant p7, QVariant p8, QVariant p9, QVariant p10) {
    for (QVariant& v : gvarSearchResult) v = QVariant();
    bool result = false;
    try {
        CodeSearch search;
        search.ConnectionString("File Name=" + basStdComm::gstrAppPath + "DB.udl");
        // The program's own connection, when open, serves the window too.
        if (!basStdComm::gobjDB.IsNothing() && basStdComm::gobjDB->IsConnected())
            search.UseConnection(&*basStdComm::gobjDB);
        search.ShowSearch(kind, QVariantList{p1, p2, p3, p4, p5, p6, p7, p8, p9, p10});
        if (search.Chosen()) {
            for (int i = 0; i < 20; ++i) gvarSearchResult[i] = search.Item(i);
            result = true;
        }
    } catch (...) {
        // silent: the result stays as far as it got
    }
    return result;
}

}  // namespace basTavik
