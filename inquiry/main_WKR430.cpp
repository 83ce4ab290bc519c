#include "inquiry/basKR430.h"
#include "platform/AppInfo.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AppInfo::SetName("WKR430");
    AppInfo::SetTitle(QString::fromUtf8("元帳照会"));
    AppInfo::InitApplication();
    if (!basKR430::Main()) return 1;
    return app.exec();
}
