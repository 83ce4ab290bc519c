#include "platform/MsgBox.h"

#include "platform/AppInfo.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace {
MsgBoxHandler g_handler;

int showQt(const MsgBoxCall& c) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(c.title);
    box.setText(c.prompt);
    switch (c.icon()) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    QList<QMessageBox::StandardButton> order;
    switch (c.buttons()) {
    case vbOKCancel: order = {QMessageBox::Ok, QMessageBox::Cancel}; break;
    case vbYesNoCancel: order = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
    case vbYesNo: order = {QMessageBox::Yes, QMessageBox::No}; break;
    default: order = {QMessageBox::Ok}; break;
    }
    QMessageBox::StandardButtons all;
    for (auto b : order) all |= b;
    box.setStandardButtons(all);
    int def = c.defaultButton() / 256;
    if (def < order.size()) box.setDefaultButton(order[def]);
    if (order.contains(QMessageBox::Cancel)) box.setEscapeButton(QMessageBox::Cancel);
    else if (order.contains(QMessageBox::No)) box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    case QMessageBox::Cancel: return vbCancel;
    default: return vbOK;
    }
}
}  // namespace

int MsgBox(const QString& prompt, int style, const QString& title) {
    MsgBoxCall c{prompt, style, title.isEmpty() ? AppInfo::Title() : title};
    // On a display no one sees (set by run.sh there) the terminal is told
    // what the box says.
    if (qEnvironmentVariableIsSet("TAVIK_MSGBOX_STDERR")) {
        std::fprintf(stderr, "%s: %s\n", c.title.toLocal8Bit().constData(), c.prompt.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    if (g_handler) return g_handler(c);
    return showQt(c);
}

void SetMsgBoxHandler(MsgBoxHandler handler) { g_handler = std::move(handler); }
