// ReportPreview: the preview window of the reports. It shows the pages of a
// rendered report (a PDF file) one at a time, with page navigation
// (buttons, PageUp/PageDown, Home/End), zoom (whole page, page width or a
// percentage) and a print button that prints through Qt's print dialog.
// Escape or the close button closes it.
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
    int page_ = 0;
    int mode_ = -2;
    double scale_ = 1.0;
    QImage image_;
};
