// XlsReport: the report control. It fills a template workbook page by page
// and prints or previews the pages.
//
// What callers rely on:
//  - Templates are Office Open XML workbooks (whatever their file name says).
//    Cells to fill hold a marker text ("**Name") in the template sheet.
//  - TemplateFile(path) is set before BeginReport(). BeginReport() reads the
//    template and begins an empty report; a missing file raises AppError
//    xlrErrTemplateMissing (0xA0000001), an unreadable one
//    xlrErrTemplateInvalid.
//  - NewPage(sheet, "1") begins a new output page copied from the named
//    template sheet (a page still open is ended first); a sheet the template
//    lacks raises xlrErrSheetMissing. The second argument is accepted and
//    ignored: every page is one copy.
//  - MarkerCell(marker, columnOffset, rowOffset) is the cell of the current
//    page that holds the marker in the template, moved by the offsets. A
//    marker the sheet lacks raises xlrErrMarkerMissing. The current page is
//    the page begun last (also after its EndPage); none raises xlrErrNoPage. Value(v) writes the cell: a text is stored as text, one
//    leading apostrophe dropped ("'0012" shows 0012, "'" alone leaves the
//    cell empty); a number is stored as a number, a QDate as a date serial
//    (the template's cell format shows it); a null QVariant or an empty text
//    empties the cell. The cell keeps its template format, but for a text
//    in a cell that shrinks to fit on one line (shrinkToFit, no wrapText):
//    one too wide for the cell is given a smaller font that fits it, down
//    to 6 points on paper at the sheet's print scale; a text still too wide
//    there is cut to what fits at that size (a right-aligned figure is not
//    cut, it only shrinks further). The font is measured through the GUI
//    application; without one the text is written as it is.
//  - EndPage() ends the current page; without an open page it does nothing.
//  - PrintOut() prints and Preview(width, height) shows every page, an open
//    last page included; Preview returns when its window is closed. Marker
//    cells that were never written come out empty.
//  - Abort() ends the report and drops whatever was not output.
//  - PreviewWindow(): DisplayMode (-2 whole page, -1 page width, n > 0 n %),
//    DisplayStyle (kept; the window shows one page at a time), Caption (the
//    window title; empty gives "印刷プレビュー").
//
// Pages are rendered to PDF by LibreOffice through ReportConverter. The
// conversion has no time limit; while it runs the windows go on painting
// and the progress dialog given to ConversionProgress() shows it as a step
// of its own (a running bar), and its cancel stops it. A stopped or failed
// conversion ends every converter and removes the report's work folder.
// The Windows fonts "ＭＳ Ｐゴシック" and "ＭＳ ゴシック"
// are written into the output as IPAPGothic and IPAGothic. Pages copied
// from one template sheet go out as that one sheet with a page break after
// each page. A large report converts in a few pieces side by side, each
// converter with a profile of its own, and their PDFs are joined in order
// (pdfunite). Printing hands the PDF to the default printer (the print dialog
// when there is none, a PDF file when there is no printer at all: see
// ChooseReportOutput) through PrintPdfPages(); without a default printer a
// progress dialog of its own ("PDFファイルを作成中", its cancel stops) shows
// while the PDF is made, unless ConversionProgress() gave one. The preview
// is ReportPreview.
//
// Tests install SetReportOutputHandler(): PrintOut and Preview then hand
// what they would output to the handler (no printer, no window).
#pragma once
#include "platform/AppError.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

constexpr long xlrErrTemplateMissing = static_cast<long>(0xA0000001u);
constexpr long xlrErrTemplateInvalid = static_cast<long>(0xA0000002u);
constexpr long xlrErrSheetMissing = static_cast<long>(0xA0000003u);
constexpr long xlrErrMarkerMissing = static_cast<long>(0xA0000004u);
constexpr long xlrErrNoPage = static_cast<long>(0xA0000005u);
constexpr long xlrErrRender = static_cast<long>(0xA0000006u);
constexpr long xlrErrNotBegun = static_cast<long>(0xA0000007u);

class XlsReport;
class ProgressDialog;

// A cell of the current page, as MarkerCell() finds it.
class XlsCell {
public:
    void Value(const QVariant& value);
    // The value this report last wrote there (invalid when none).
    QVariant Value() const;
    // "D15" style address on the page.
    QString Address() const;

private:
    friend class XlsReport;
    XlsCell(XlsReport* report, int page, int column, long row, QString marker, int columnOffset, long rowOffset)
        : report_(report), page_(page), column_(column), row_(row), marker_(std::move(marker)),
          columnOffset_(columnOffset), rowOffset_(rowOffset) {}
    XlsReport* report_;
    int page_;
    int column_;
    long row_;
    QString marker_;
    int columnOffset_;
    long rowOffset_;
};

struct XlsPreviewWindow {
    int DisplayMode = -2;
    int DisplayStyle = 1;
    QString Caption;
};

// One cell write as the output handler sees it.
struct ReportCell {
    QString marker;
    int columnOffset = 0;
    long rowOffset = 0;
    QString address;
    QVariant value;    // as the caller gave it
    QVariant stored;   // what the cell holds: text without the apostrophe, a number, or invalid (empty)
};

struct ReportPage {
    QString sheet;                  // the template sheet it was copied from
    bool ended = false;             // EndPage() was called for it
    std::vector<ReportCell> cells;  // every write, in order
    // The last write at the marker and offsets, nullptr when there was none.
    const ReportCell* Find(const QString& marker, int columnOffset = 0, long rowOffset = 0) const;
    // Writes to the marker (any offsets).
    int Count(const QString& marker) const;
};

struct ReportOutput {
    enum Kind { Print, Preview };
    Kind kind = Print;
    QString workbookPath;   // the filled workbook (valid during the handler call)
    QString pdfPath;        // its PDF, when rendered (valid during the handler call)
    int pageCount = 0;      // pages of the PDF when rendered, else pages begun
    std::vector<ReportPage> pages;
    QStringList calls;      // BeginReport, NewPage <sheet>, EndPage, PrintOut / Preview, in order
    XlsPreviewWindow previewWindow;
    QString outputName;     // the name it goes out under (XlsReport::OutputName)
    int previewWidth = 0;
    int previewHeight = 0;
};

using ReportOutputHandler = std::function<void(const ReportOutput&)>;
// Replaces the printer and the preview window (tests). With renderPdf the
// pages are rendered through LibreOffice first; an empty handler restores
// real output.
void SetReportOutputHandler(ReportOutputHandler handler, bool renderPdf = false);

class XlsReport {
public:
    XlsReport();
    ~XlsReport();
    XlsReport(const XlsReport&) = delete;
    XlsReport& operator=(const XlsReport&) = delete;

    void TemplateFile(const QString& path) { templateFile_ = path; }
    QString TemplateFile() const { return templateFile_; }
    // The name the report goes out under: the print job's title and the
    // PDF file's name proposed when it is printed to a file (see
    // ChooseReportOutput). Empty: the preview caption, else the template's
    // file name. Kept across reports until changed.
    void OutputName(const QString& name) { outputName_ = name; }
    QString OutputName() const;
    void BeginReport();
    void NewPage(const QString& sheet, const QVariant& copies = QVariant());
    void EndPage();
    XlsCell MarkerCell(const QString& marker, int columnOffset = 0, long rowOffset = 0);
    void PrintOut();
    void Preview(int width = 0, int height = 0);
    void Abort();
    XlsPreviewWindow& PreviewWindow() { return previewWindow_; }

    // The progress dialog of the run (nullptr: none). The conversion to PDF
    // shows in it, and a cancel there stops the conversion once confirmStop
    // agrees (none given: at once): PrintOut or Preview then drop the report
    // and output nothing. Kept across reports until changed.
    void ConversionProgress(ProgressDialog* dialog, std::function<bool()> confirmStop = {});
    // True when the last PrintOut or Preview was stopped that way.
    bool Stopped() const { return stopped_; }

    // State, for callers that need to know.
    bool Begun() const;
    int PageCount() const;
    bool PageOpen() const;
    // Pages whose sheets are held as documents now: the page written last
    // (the others are kept serialized until they are output).
    int HeldPages() const;

    // Writes the filled workbook of the pages so far to the path (the
    // output of PrintOut and Preview before rendering).
    void SaveWorkbook(const QString& path);
    // Reports of more than largeReport pages convert in up to parts pieces
    // side by side (100 and 4 unless changed); ConversionParts tells how
    // many pieces a report of that many pages goes out in.
    static void ParallelConversion(int largeReport, int parts);
    static int ConversionParts(int pages);
    // Pages of a PDF file (0 when it cannot be read).
    static int PdfPageCount(const QString& pdfPath);

private:
    friend class XlsCell;
    struct Impl;
    void write(int page, int column, long row, const QString& marker, int columnOffset, long rowOffset,
               const QVariant& value);
    QVariant written(int page, int column, long row) const;
    void saveWorkbook(const QString& path, size_t first, size_t last);
    // False when the user stopped the conversion.
    bool output(ReportOutput::Kind kind, bool renderPdf, ReportOutput& out);

    QString templateFile_;
    QString outputName_;
    XlsPreviewWindow previewWindow_;
    ProgressDialog* progress_ = nullptr;
    std::function<bool()> confirmStop_;
    bool stopped_ = false;
    std::unique_ptr<Impl> d_;
};
