#include "platform/VoucherOpener.h"

#include "platform/AppInfo.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

VoucherOpenerHandler& handler() {
    static VoucherOpenerHandler h;
    return h;
}

// Drops the user's input to every window of this program while installed:
// keys, mouse buttons and moves, wheel, shortcuts, context menus, touch and
// tablet input, and a close requested by the window system. Painting,
// resizing and timers pass.
class InputBlocker : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
            return true;
        case QEvent::Close:
            if (e->spontaneous()) {
                e->ignore();
                return true;
            }
            return false;
        default:
            return QObject::eventFilter(watched, e);
        }
    }
};

}  // namespace

void SetVoucherOpenerHandler(VoucherOpenerHandler h) { handler() = std::move(h); }

QStringList VoucherOpener::Arguments(const QString& mode, long date, long number) {
    QString dateText = QString::number(date);
    if (date >= 10000000 && date <= 99991231) {
        QDate d(static_cast<int>(date / 10000), static_cast<int>(date / 100 % 100), static_cast<int>(date % 100));
        if (d.isValid()) dateText = d.toString("yyyy/MM/dd");
    }
    return {mode, dateText, QString::number(number), "/S"};
}

QString VoucherOpener::ProgramPath() const {
    if (program_.isEmpty()) return QString();
    QString path = QDir(AppInfo::Folder()).filePath(program_);
#ifdef Q_OS_WIN
    if (QFileInfo(path).suffix().isEmpty()) path += ".exe";
#endif
    return path;
}

bool VoucherOpener::ShowVoucher(const QString& mode, long date, long number) {
    error_.clear();
    if (handler()) {
        handler()(mode, date, number);
        return true;
    }
    const QString path = ProgramPath();
    if (path.isEmpty()) {
        error_ = QStringLiteral("起動するプログラムが指定されていません。");
        return false;
    }
    if (!QFileInfo(path).isExecutable()) {
        error_ = path + QStringLiteral(" がありません。");
        return false;
    }

    QProcess process;
    process.setProgram(path);
    process.setArguments(Arguments(mode, date, number));
    process.setWorkingDirectory(AppInfo::Folder());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    // The opened program runs as this program's own instance of it, so a
    // voucher entry program the user has open elsewhere does not refuse it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVIK_INSTANCE"), AppInfo::Name());
    process.setProcessEnvironment(env);

    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError err) {
        if (err == QProcess::FailedToStart || err == QProcess::Crashed) loop.quit();
    });

    process.start();
    if (!process.waitForStarted()) {
        error_ = process.errorString();
        return false;
    }

    InputBlocker blocker;
    QCoreApplication* app = QCoreApplication::instance();
    if (app) app->installEventFilter(&blocker);
    if (process.state() != QProcess::NotRunning) loop.exec();
    if (app) app->removeEventFilter(&blocker);
    return true;
}
