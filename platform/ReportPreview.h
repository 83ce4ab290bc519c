// ReportPreview: the preview window of the reports. It shows the pages of a
// rendered report (a PDF file) one at a time, with page navigation
// (buttons, PageUp/PageDown, Home/End), zoom (whole page, page width or a
// percentage) and a print button that prints through Qt's print dialog.
// Escape or the close button closes it.
// The print button asks through ChooseReportOutput() where the report goes;
// a print that fails (a file that cannot be written, a job refused) says so.
//
// PrintPdfPages() hands a PDF to the printer chosen in a QPrinter as the
// document itself (no page images): to a PDF file it is copied, to a printer
// it goes to the printing system (CUPS) with the copies and the page range
// of the printer settings; XlsReport uses it for direct printing too.
#pragma once
#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QScrollArea;

namespace Poppler {
class Document;
}

// Prints the PDF on the printer's choice; false when the file cannot be
// read or the job cannot be handed on.
bool PrintPdfPages(const QString& pdfPath, QPrinter& printer);

// Where a report named `name` goes when it is printed. With a printer set
// up: the print dialog (printer, copies and, when pages > 0, the pages).
// Without any printer the report can only go to a PDF file: a file dialog
// proposes "<name>.pdf" in the folder that report (the name up to its
// first "_") was last printed to, the first time in the user's documents
// folder (the home folder when there is none), "<name> (2).pdf" and so on
// when that file is there
// already; a file that is there is replaced only after the user said Yes
// (No goes back to the dialog). The printer is then set to that file. The
// name is also the print job's title. False when the user cancels.
bool ChooseReportOutput(QPrinter& printer, const QString& name, int pages, QWidget* parent);

// A print job as the printing system gets it.
struct PdfPrintJob {
    QString pdfPath;
    QString printer;    // the printer's name
    QString title;
    int copies = 1;
    int fromPage = 0;   // 0: every page
    int toPage = 0;
};
using PdfPrintJobHandler = std::function<bool(const PdfPrintJob&)>;
// Replaces the printing system (tests); an empty handler restores it.
void SetPdfPrintJobHandler(PdfPrintJobHandler handler);

class ReportPreview : public QDialog {
    Q_OBJECT
public:
    explicit ReportPreview(const QString& pdfPath, QWidget* parent = nullptr);
    ~ReportPreview() override;

    // The name the report goes out under when printed (the print job's
    // title, the PDF file's name proposed); empty: the window's title.
    void SetDocumentName(const QString& name) { documentName_ = name; }
    QString DocumentName() const { return documentName_.isEmpty() ? windowTitle() : documentName_; }

    bool IsLoaded() const;
    int PageCount() const;
    int CurrentPage() const { return page_; }   // 1-based; 0 when nothing is loaded
    void ShowPage(int page);
    // -2 whole page, -1 page width, n > 0 n percent.
    void SetDisplayMode(int mode);
    int DisplayMode() const { return mode_; }
    // The zoom in effect (1.0 = 100 %, 72 points to the inch at 96 pixels).
    double Scale() const { return scale_; }
    // The picture of the current page as shown.
    QImage PageImage() const { return image_; }
    QString PageText() const;   // "1 / 3"

    QPushButton* cmdFirst;
    QPushButton* cmdPrev;
    QPushButton* cmdNext;
    QPushButton* cmdLast;
    QLabel* lblPage;
    QComboBox* cboZoom;
    QPushButton* cmdPrint;
    QPushButton* cmdClose;
    QScrollArea* scrPage;
    QLabel* lblView;

    void cmdPrint_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void render();
    void updateButtons();
    void cboZoom_Changed(int index);

    std::unique_ptr<Poppler::Document> doc_;
    QString pdfPath_;
    QString documentName_;
    int page_ = 0;
    int mode_ = -2;
    double scale_ = 1.0;
    QImage image_;
};
