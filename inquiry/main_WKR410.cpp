#include "inquiry/basKR410.h"
#include "platform/AppInfo.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AppInfo::SetName("WKR410");
    AppInfo::SetTitle(QString::fromUtf8("仕訳帳照会"));
    AppInfo::InitApplication();
    if (!basKR410::Main()) return 1;
    return app.exec();
}
