// MsgBox: the programs' message boxes (text, buttons, icon, default button,
// title -> answer), shown as Qt message boxes. A test installs its own
// handler with SetMsgBoxHandler() to record every message and answer it.
#pragma once
#include <QString>
#include <functional>

enum MsgBoxStyle {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};

enum MsgBoxResult { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

struct MsgBoxCall {
    QString prompt;
    int style = vbOKOnly;   // buttons | icon | default button
    QString title;          // the title actually shown
    int buttons() const { return style & 7; }
    int icon() const { return style & 0x70; }
    int defaultButton() const { return style & 0x300; }
};

// Shows the message and returns the answer. An empty title shows the
// program title. With the environment variable TAVIK_MSGBOX_STDERR set the
// title and text are written to standard error as well.
int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());

using MsgBoxHandler = std::function<int(const MsgBoxCall&)>;
// Replaces the message box (tests); an empty handler restores Qt's.
void SetMsgBoxHandler(MsgBoxHandler handler);
