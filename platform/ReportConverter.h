// ReportConverter: the outside programs that turn the reports' workbooks
// into PDF (LibreOffice, "soffice --headless") and join PDFs (pdfunite), and
// the temporary folders they work in.
//
// What callers rely on:
//  - RenderPdfs() starts one converter per workbook, side by side, and waits
//    for all of them; the windows go on painting meanwhile (a wait cursor
//    shows), and stop is asked now and then. When stop says true, or one
//    converter fails, every converter ends at once: each runs in a process
//    group of its own and the whole group is ended, and the sockets that
//    its processes had bound are removed. Stopped: no PDF and an empty
//    result; failed: AppError xlrErrRender.
//  - Each converter has a LibreOffice profile of its own (by its place in
//    the list), kept for the next conversion and removed after a stop or a
//    failure (a profile of a converter ended half way may be broken) and
//    when the program ends. The converters' temporary files (TMPDIR) go to
//    a folder inside the output folder, removed on every path.
//  - TAVIK_SOFFICE and TAVIK_PDFUNITE name the programs to use instead of
//    the ones found on the PATH.
//  - NewWorkFolder() makes a report's work folder in the temporary folder;
//    it goes with its object.
//  - A program ended by SIGTERM or SIGHUP (a log-out, a shutdown) ends its
//    converters and removes its work folders and profiles before it ends
//    (as by the signal). Its folders are named after its process, and
//    RemoveLeftovers(), called at every start, removes those of the user's
//    programs that no longer run (one killed outright leaves them).
#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include <QTemporaryDir>

namespace ReportConverter {

// A folder of the program's own in the temporary folder, removed with its
// object (and by an end through a signal).
class TempFolder {
public:
    explicit TempFolder(const QString& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// Renders a workbook file to PDF into outputDir; returns the PDF path.
// stop is asked now and then while the converter runs; when it says true
// the converter is ended and the result is empty.
QString RenderPdf(const QString& workbookPath, const QString& outputDir, const std::function<bool()>& stop = {});
// Renders workbook files to PDF side by side (a converter each) into
// outputDir; returns the PDF paths in the same order, or none when stop
// said true. A failure of one ends all of them.
QStringList RenderPdfs(const QStringList& workbookPaths, const QString& outputDir,
                       const std::function<bool()>& stop = {});
// Joins PDF files, in order, into target (with pdfunite); false when stop
// said true.
bool JoinPdfs(const QStringList& pdfPaths, const QString& target, const std::function<bool()>& stop = {});

// A new work folder for a report's files.
std::unique_ptr<TempFolder> NewWorkFolder();

// Removes the work folders and profiles that the user's programs left in
// the temporary folder when they were killed (their process is gone).
void RemoveLeftovers();

}  // namespace ReportConverter
