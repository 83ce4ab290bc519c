// Test support: a fresh application folder and database per test, a
// recorder that answers message boxes, and child processes.
#pragma once
#include "platform/DBAccess.h"
#include "platform/MsgBox.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// Records every message box and answers from a queue (default: the first
// button, i.e. OK or Yes... unless AnswerDefault is set).
class MsgRecorder {
public:
    MsgRecorder();
    ~MsgRecorder();
    void Answer(int answer) { answers_.push_back(answer); }
    const std::vector<MsgBoxCall>& Calls() const { return calls_; }
    QStringList Texts() const;
    bool Empty() const { return calls_.empty(); }
    const MsgBoxCall& Last() const { return calls_.back(); }
    void Clear() { calls_.clear(); }
    // Answer No to questions when no answer was queued (default Yes).
    int defaultYesNo = vbYes;

private:
    std::vector<MsgBoxCall> calls_;
    std::deque<int> answers_;
};

// Gives this test program's windows an offscreen screen of 1280 x 1024
// pixels instead of the plugin's 800 x 800, unless another platform was
// chosen. Called from a static initializer of the test file (before the
// application starts); true.
bool UseScreen1280x1024();

// A temporary application folder with system.ini, DB.udl and Tab.ini, and
// an empty database with the schema. The process-wide state points at it and
// is connected unless told otherwise.
class AppFolder {
public:
    explicit AppFolder(bool connect = true);
    ~AppFolder();
    QString Path() const;                 // without trailing "/"
    // The book's SQLite file (tests on SQLite only).
    QString DbFile() const;
    // Connects db to the book as DB.udl names it.
    bool Connect(DBAccess& db) const;
    void WriteFile(const QString& name, const QByteArray& content) const;
    // Runs statements (schema already there); fails the test on error.
    void Sql(const QString& sql) const;
    QString Scalar(const QString& sql) const;
    // Fills the demo rows.
    void Demo(const QDate& today = QDate()) const;

private:
    QTemporaryDir dir_;
    QString database_;  // on the server, when the tests run there
};

// The tests run on a PostgreSQL server (TAVIK_TEST_ENGINE=postgres; the
// server TAVIK_TEST_PG_SERVER, user TAVIK_TEST_PG_USER), not on SQLite
// files.
bool TestsOnServer();

// Runs this test program again as a child doing `role` with `args`; the
// child part is registered with RegisterChild(). Returns the exit code.
int RunChild(const QString& role, const QStringList& args, QString* output = nullptr, int timeoutMs = 60000);
using ChildMain = std::function<int(const QStringList& args)>;
bool RegisterChild(const QString& role, ChildMain fn);
// Starts a child without waiting (for concurrent runs).
class QProcess;
std::unique_ptr<QProcess> StartChild(const QString& role, const QStringList& args);

// The error number f raises (AppError), 0 when it raises none.
long ErrorOf(const std::function<void()>& f);
