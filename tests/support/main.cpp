// Entry of every test program: an offscreen QApplication, then either the
// tests or, with "--child ROLE ...", a child part a test started.
#include "platform/AppInfo.h"

#include <QApplication>
#include <gtest/gtest.h>

int RunRegisteredChild(const QString& role, const QStringList& args);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppInfo::SetName("TEST");
    AppInfo::SetTitle("TEST");
    AppInfo::InitApplication();
    QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == "--child") return RunRegisteredChild(args[2], args.mid(3));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
