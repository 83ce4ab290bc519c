#include "platform/AppInfo.h"
#include "voucher_entry/basWKE410.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AppInfo::SetName("WKE410");
    AppInfo::SetTitle(QString::fromUtf8("振替伝票入力"));
    AppInfo::InitApplication();
    if (!basWKE410::Main()) return 1;
    return app.exec();
}
