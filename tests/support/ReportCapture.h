// Report tests: the report templates copied into the application folder,
// a capture of what XlsReport would print or preview, and a look into PDF
// files (their text and fonts).
#pragma once
#include "platform/XlsReport.h"

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <vector>

// The folder of the templates in the source tree (reports/).
QString ReportTemplateDir();
// Copies every template into basStdComm::gstrReportPath (made when missing).
void CopyReportTemplates();

// True when LibreOffice is there to render pages.
bool CanRenderReports();

// Installs a report output handler for its lifetime and keeps every output,
// with copies of the workbook and the PDF that outlive the handler call.
// With TAVIK_KEEP_REPORTS=<folder> in the environment the copies go there,
// named after the test, and stay for a person to look at.
class ReportCapture {
public:
    explicit ReportCapture(bool renderPdf = false);
    ~ReportCapture();
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    const std::vector<ReportOutput>& Outputs() const { return outputs_; }
    bool Empty() const { return outputs_.empty(); }
    const ReportOutput& Last() const { return outputs_.back(); }

private:
    QTemporaryDir temp_;
    QString keep_;
    std::vector<ReportOutput> outputs_;
};

// The text of a PDF as pdftotext gives it (layout kept), empty on failure.
QString PdfText(const QString& pdfPath);
// The same with every blank and ideographic space removed.
QString PdfTextCompact(const QString& pdfPath);
// The font names of a PDF (subset prefixes removed).
QStringList PdfFonts(const QString& pdfPath);

// The box, in points from the page's top left corner, around everything
// drawn on a page of a PDF (rendered by poppler, white counts as nothing
// drawn); an empty box when the page cannot be read or is blank.
QRectF PdfInkBox(const QString& pdfPath, int page);
// The page size of a page of a PDF in points (empty when it cannot be read).
QSizeF PdfPageSize(const QString& pdfPath, int page);

// A line drawn on a page, in points from the page's top left corner:
// across, y is its height and left to right its extent; down, y is its
// place across and left to right its extent down the page.
struct PdfRule {
    double y = 0;
    double left = 0;
    double right = 0;
};
// The horizontal (vertical) lines of a page at least minLength points long
// (dotted ones too), as poppler renders them; a text never makes one that
// long.
std::vector<PdfRule> PdfHorizontalRules(const QString& pdfPath, int page, double minLength = 120.0);
std::vector<PdfRule> PdfVerticalRules(const QString& pdfPath, int page, double minLength = 120.0);
// The rows of text of a page as poppler reads them (text cut away by a
// cell is read too): each with its box in points.
struct PdfTextRow {
    QString text;
    QRectF box;
};
std::vector<PdfTextRow> PdfTextRows(const QString& pdfPath, int page);

// A home folder of its own for a test ($HOME, and no XDG_CONFIG_HOME, so
// that the documents folder is its "Documents"), made with that folder.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    QString Documents() const;

private:
    QTemporaryDir dir_;
    QByteArray home_, config_;
    bool hadConfig_ = false;
};

// Stands in for the user at the dialogs a report is printed through: each
// file dialog that opens takes the next answer, a file to choose (a full
// path), an empty text to cancel, or a folder ending in "/" to show and,
// once its files are listed, cancel; the file it proposed is kept. A
// progress dialog is left alone (its messages are kept); any other dialog
// (the print dialog) is cancelled and its class kept.
class PrintDialogUser {
public:
    explicit PrintDialogUser(const QStringList& answers);
    const QStringList& Proposed() const { return proposed_; }
    const QStringList& OtherDialogs() const { return others_; }
    const QStringList& Progress() const { return progress_; }

private:
    QTimer timer_;
    std::deque<QString> answers_;
    QStringList proposed_;
    QStringList others_;
    int listedTicks_ = 0;
    bool listed_ = false;
    QStringList progress_;
};

// Restores the default pieces and the converter programs (TAVIK_SOFFICE,
// TAVIK_PDFUNITE) after a test.
struct ConversionSettings {
    QByteArray soffice = qgetenv("TAVIK_SOFFICE");
    QByteArray pdfunite = qgetenv("TAVIK_PDFUNITE");
    ~ConversionSettings();
};

// A converter that never finishes: it notes its process id and profile
// folder in the folder given ("run.<pid>"), then waits. With "fail" in the
// workbook's name it fails after a second instead.
QString FakeConverter(const QString& folder);
