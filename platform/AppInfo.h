// AppInfo: what the programs know of themselves: their folder, title and
// command line, the single-instance check, and the common Qt set-up
// (Japanese translations of Qt's own buttons, the font mapping of the
// Windows font names the windows use).
#pragma once
#include <QString>
#include <QStringList>

namespace AppInfo {

// Folder of the executable, without a trailing separator. Tests may point it
// elsewhere with SetFolder().
QString Folder();
void SetFolder(const QString& folder);

// Program title (shown in message boxes), e.g. "振替伝票入力".
QString Title();
void SetTitle(const QString& title);

// Program name used for the instance lock, e.g. "WKE410".
QString Name();
void SetName(const QString& name);

// The command line: the program's arguments joined by single blanks.
QString CommandLine();
void SetArguments(const QStringList& args);

// True when another running process of this program holds the per-user
// instance lock; otherwise this process takes the lock (released at exit,
// or by the system when the process dies). A program started by another one
// with TAVIK_INSTANCE=<opener> in its environment has a lock of its own.
bool PrevInstance();
// Releases the lock taken by PrevInstance() (tests).
void ReleaseInstance();
// Folder of the instance locks (default: the user's runtime or temp folder).
void SetLockFolder(const QString& folder);

// Qt set-up every program and window test makes once after QApplication:
// Japanese Qt translations, font substitutions, application name.
void InitApplication();

}  // namespace AppInfo
