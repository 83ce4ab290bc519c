#include "platform/ReportPreview.h"

#include "platform/MsgBox.h"

#include <QAbstractFileIconProvider>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <cmath>
#include <dlfcn.h>
#include <vector>
#include <poppler-qt6.h>

namespace {

// Zoom choices: the display mode each entry stands for.
const int kZoomModes[] = {-2, -1, 50, 75, 100, 125, 150, 200};

QString ZoomText(int mode) {
    if (mode == -2) return QString::fromUtf8("ページ全体");
    if (mode == -1) return QString::fromUtf8("ページ幅");
    return QString::number(mode) + "%";
}

std::unique_ptr<Poppler::Document> LoadPdf(const QString& path) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    if (!doc || doc->isLocked()) return nullptr;
    doc->setRenderHint(Poppler::Document::Antialiasing);
    doc->setRenderHint(Poppler::Document::TextAntialiasing);
    return doc;
}

}  // namespace

namespace {

PdfPrintJobHandler g_jobHandler;

// The few calls of the CUPS client library the print needs, found when first
// used (the library comes with the printing support of Qt).
struct CupsApi {
    struct Option {
        char* name;
        char* value;
    };
    using PrintFile = int (*)(const char*, const char*, const char*, int, Option*);
    using LastErrorString = const char* (*)();
    PrintFile printFile = nullptr;
    LastErrorString lastError = nullptr;

    static const CupsApi& Get() {
        static CupsApi api = [] {
            CupsApi a;
            for (const char* name : {"libcups.so.2", "libcups.so"}) {
                void* lib = dlopen(name, RTLD_NOW | RTLD_LOCAL);
                if (!lib) continue;
                a.printFile = reinterpret_cast<PrintFile>(dlsym(lib, "cupsPrintFile"));
                a.lastError = reinterpret_cast<LastErrorString>(dlsym(lib, "cupsLastErrorString"));
                if (a.printFile) break;
            }
            return a;
        }();
        return api;
    }
};

bool SendToCups(const PdfPrintJob& job) {
    const CupsApi& cups = CupsApi::Get();
    if (!cups.printFile) return false;
    std::vector<std::pair<QByteArray, QByteArray>> values;
    values.emplace_back("copies", QByteArray::number(std::max(1, job.copies)));
    if (job.fromPage > 0 && job.toPage >= job.fromPage)
        values.emplace_back("page-ranges", QByteArray::number(job.fromPage) + "-" + QByteArray::number(job.toPage));
    values.emplace_back("document-format", "application/pdf");
    std::vector<CupsApi::Option> options;
    for (auto& [name, value] : values) options.push_back({name.data(), value.data()});
    const QByteArray printer = job.printer.toLocal8Bit();
    const QByteArray file = QFile::encodeName(job.pdfPath);
    const QByteArray title = job.title.toUtf8();
    return cups.printFile(printer.constData(), file.constData(), title.constData(), static_cast<int>(options.size()),
                          options.data()) > 0;
}

// A report's name as a file name: characters that a file name cannot hold
// (or that would lead into another folder) become "_".
QString FileNameOf(const QString& name) {
    QString s = name.trimmed();
    for (QChar& c : s)
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) c = QLatin1Char('_');
    if (s.isEmpty() || s == "." || s == "..") s = QStringLiteral("report");
    return s;
}

// The folders the reports were last printed to as PDF files, by report
// (the name up to its first "_": "振替伝票", "総勘定元帳"), kept for the user
// in the configuration folder.
QString ReportFolderSettings() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tavik/report-folders.ini";
}

QString ReportKind(const QString& name) { return FileNameOf(name.section('_', 0, 0)); }

void RememberPdfFolder(const QString& name, const QString& folder) {
    QSettings settings(ReportFolderSettings(), QSettings::IniFormat);
    settings.setValue("pdf/" + ReportKind(name), folder);
}

// "<name>.pdf" in the folder the report was last printed to, else in the
// documents folder, or the first "<name> (n).pdf" that is not taken.
QString ProposedPdf(const QString& name) {
    QString folder = QSettings(ReportFolderSettings(), QSettings::IniFormat).value("pdf/" + ReportKind(name)).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    const QDir dir(folder);
    const QString base = FileNameOf(name);
    QString path = dir.filePath(base + ".pdf");
    for (int n = 2; QFileInfo::exists(path); ++n) path = dir.filePath(QString("%1 (%2).pdf").arg(base).arg(n));
    return path;
}

// Icons and type names of listed files by their names alone. Qt's own
// provider reads the beginning of each file it lists to tell its type: in
// the folder of the database that opens and closes the database files
// through descriptors of their own, and closing any descriptor of a file
// gives up every lock the program holds on it (other programs would then
// take this one's database for closed).
class NameOnlyIcons : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo& info) const override {
        return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (info.isDir()) return QString::fromUtf8("フォルダ");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QString::fromUtf8("ファイル") : suffix.toUpper() + QString::fromUtf8(" ファイル");
    }
};

// Every file list of a dialog (the file dialog's, the print dialog's file
// name completion) takes its icons from the names only.
void ListByNamesOnly(QWidget* dialog) {
    static NameOnlyIcons icons;
    if (auto* files = qobject_cast<QFileDialog*>(dialog)) files->setIconProvider(&icons);
    for (QFileSystemModel* model : dialog->findChildren<QFileSystemModel*>()) model->setIconProvider(&icons);
}

}  // namespace

bool ChooseReportOutput(QPrinter& printer, const QString& name, int pages, QWidget* parent) {
    printer.setDocName(name);
    if (!QPrinterInfo::availablePrinters().isEmpty()) {
        QPrintDialog dialog(&printer, parent);
        ListByNamesOnly(&dialog);
        if (pages > 0) {
            printer.setFromTo(0, 0);
            dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
            dialog.setMinMax(1, pages);
        }
        return dialog.exec() == QDialog::Accepted;
    }
    const QString title = QString::fromUtf8("PDFファイルに印刷");
    QFileDialog dialog(parent, title);
    ListByNamesOnly(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Replacing a file is asked below, in the programs' own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(QString::fromUtf8("PDF ファイル (*.pdf)"));
    dialog.setDefaultSuffix("pdf");
    const QFileInfo proposed(ProposedPdf(name));
    dialog.setDirectory(proposed.absolutePath());
    dialog.selectFile(proposed.fileName());
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
        const QFileInfo chosen(dialog.selectedFiles().first());
        if (chosen.isDir()) continue;
        if (chosen.exists() &&
            MsgBox(QString::fromUtf8("「%1」は既にあります。\n置き換えますか？").arg(chosen.absoluteFilePath()),
                   vbYesNo | vbQuestion | vbDefaultButton2, title) != vbYes)
            continue;
        RememberPdfFolder(name, chosen.absolutePath());
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(chosen.absoluteFilePath());
        return true;
    }
}

void SetPdfPrintJobHandler(PdfPrintJobHandler handler) { g_jobHandler = std::move(handler); }

bool PrintPdfPages(const QString& pdfPath, QPrinter& printer) {
    std::unique_ptr<Poppler::Document> doc = LoadPdf(pdfPath);
    if (!doc || doc->numPages() == 0) return false;
    // To a file (the print dialog's PDF file): the file is the document.
    const QString target = printer.outputFileName();
    if (!target.isEmpty()) {
        if (QFileInfo(target).absoluteFilePath() == QFileInfo(pdfPath).absoluteFilePath()) return true;
        QFile::remove(target);
        return QFile::copy(pdfPath, target);
    }
    if (printer.printerName().isEmpty()) return false;
    PdfPrintJob job;
    job.pdfPath = pdfPath;
    job.printer = printer.printerName();
    job.title = printer.docName();
    job.copies = printer.copyCount();
    if (printer.printRange() == QPrinter::PageRange) {
        job.fromPage = printer.fromPage();
        job.toPage = printer.toPage();
    }
    return g_jobHandler ? g_jobHandler(job) : SendToCups(job);
}

ReportPreview::ReportPreview(const QString& pdfPath, QWidget* parent) : QDialog(parent), pdfPath_(pdfPath) {
    setWindowTitle(QString::fromUtf8("印刷プレビュー"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    setSizeGripEnabled(true);

    cmdFirst = new QPushButton(QString::fromUtf8("|◀ 先頭"), this);
    cmdPrev = new QPushButton(QString::fromUtf8("◀ 前頁"), this);
    lblPage = new QLabel(this);
    lblPage->setAlignment(Qt::AlignCenter);
    lblPage->setMinimumWidth(70);
    cmdNext = new QPushButton(QString::fromUtf8("次頁 ▶"), this);
    cmdLast = new QPushButton(QString::fromUtf8("最終 ▶|"), this);
    cboZoom = new QComboBox(this);
    for (int m : kZoomModes) cboZoom->addItem(ZoomText(m), m);
    cmdPrint = new QPushButton(QString::fromUtf8("印刷(&P)"), this);
    cmdClose = new QPushButton(QString::fromUtf8("閉じる(&C)"), this);
    for (QPushButton* b : {cmdFirst, cmdPrev, cmdNext, cmdLast, cmdPrint, cmdClose}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::TabFocus);
    }

    auto* bar = new QHBoxLayout;
    bar->addWidget(cmdFirst);
    bar->addWidget(cmdPrev);
    bar->addWidget(lblPage);
    bar->addWidget(cmdNext);
    bar->addWidget(cmdLast);
    bar->addSpacing(16);
    bar->addWidget(new QLabel(QString::fromUtf8("倍率"), this));
    bar->addWidget(cboZoom);
    bar->addStretch();
    bar->addWidget(cmdPrint);
    bar->addWidget(cmdClose);

    lblView = new QLabel;
    lblView->setAlignment(Qt::AlignCenter);
    lblView->setBackgroundRole(QPalette::Base);
    scrPage = new QScrollArea(this);
    scrPage->setWidget(lblView);
    scrPage->setAlignment(Qt::AlignCenter);
    scrPage->setWidgetResizable(false);
    scrPage->setBackgroundRole(QPalette::Dark);
    // The keys page through the report; the scroll bars stay for the mouse.
    scrPage->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(scrPage, 1);

    connect(cmdFirst, &QPushButton::clicked, this, [this] { ShowPage(1); });
    connect(cmdPrev, &QPushButton::clicked, this, [this] { ShowPage(page_ - 1); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { ShowPage(page_ + 1); });
    connect(cmdLast, &QPushButton::clicked, this, [this] { ShowPage(PageCount()); });
    connect(cmdPrint, &QPushButton::clicked, this, [this] { cmdPrint_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(cboZoom, &QComboBox::currentIndexChanged, this, [this](int i) { cboZoom_Changed(i); });

    doc_ = LoadPdf(pdfPath);
    if (!doc_) lblView->setText(QString::fromUtf8("帳票を表示できません。"));
    resize(800, 567);
    SetDisplayMode(-2);
    ShowPage(1);
}

ReportPreview::~ReportPreview() = default;

bool ReportPreview::IsLoaded() const { return doc_ != nullptr; }
int ReportPreview::PageCount() const { return doc_ ? doc_->numPages() : 0; }

QString ReportPreview::PageText() const {
    return QString::number(page_) + " / " + QString::number(PageCount());
}

void ReportPreview::ShowPage(int page) {
    if (PageCount() == 0) {
        page_ = 0;
        updateButtons();
        return;
    }
    page_ = std::clamp(page, 1, PageCount());
    render();
    scrPage->verticalScrollBar()->setValue(0);
    scrPage->horizontalScrollBar()->setValue(0);
}

void ReportPreview::SetDisplayMode(int mode) {
    if (mode != -2 && mode != -1 && mode <= 0) mode = -2;
    mode_ = mode;
    int index = cboZoom->findData(mode);
    if (index < 0) {
        cboZoom->addItem(ZoomText(mode), mode);
        index = cboZoom->count() - 1;
    }
    if (cboZoom->currentIndex() != index) {
        QSignalBlocker block(cboZoom);
        cboZoom->setCurrentIndex(index);
    }
    if (page_ > 0) render();
}

void ReportPreview::cboZoom_Changed(int index) { SetDisplayMode(cboZoom->itemData(index).toInt()); }

void ReportPreview::render() {
    updateButtons();
    if (!doc_ || page_ < 1) return;
    std::unique_ptr<Poppler::Page> page = doc_->page(page_ - 1);
    if (!page) return;
    const QSizeF points = page->pageSizeF();
    // 100 % shows the page at its paper size on a 96 dpi screen.
    const double pixelsPerPoint = 96.0 / 72.0;
    const QSize view = scrPage->viewport()->size() - QSize(8, 8);
    if (mode_ == -2) {
        scale_ = std::min(view.width() / (points.width() * pixelsPerPoint),
                          view.height() / (points.height() * pixelsPerPoint));
    } else if (mode_ == -1) {
        scale_ = (view.width() - scrPage->verticalScrollBar()->sizeHint().width()) / (points.width() * pixelsPerPoint);
    } else {
        scale_ = mode_ / 100.0;
    }
    scale_ = std::clamp(scale_, 0.1, 8.0);
    const double ratio = devicePixelRatioF();
    const double dpi = 96.0 * scale_ * ratio;
    image_ = page->renderToImage(dpi, dpi);
    image_.setDevicePixelRatio(ratio);
    lblView->setPixmap(QPixmap::fromImage(image_));
    lblView->resize(image_.size() / ratio);
}

void ReportPreview::updateButtons() {
    const int n = PageCount();
    lblPage->setText(PageText());
    cmdFirst->setEnabled(page_ > 1);
    cmdPrev->setEnabled(page_ > 1);
    cmdNext->setEnabled(page_ < n);
    cmdLast->setEnabled(page_ < n);
    cmdPrint->setEnabled(n > 0);
}

void ReportPreview::cmdPrint_Click() {
    if (PageCount() == 0) return;
    QPrinter printer(QPrinter::HighResolution);
    // The printer, the copies and the pages, or the PDF file.
    if (!ChooseReportOutput(printer, DocumentName(), PageCount(), this)) return;
    if (PrintPdfPages(pdfPath_, printer)) return;
    const QString where = printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    MsgBox(QString::fromUtf8("帳票を印刷できませんでした。") + (where.isEmpty() ? QString() : "\n" + where),
           vbExclamation | vbOKOnly, windowTitle());
}

void ReportPreview::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_PageDown: ShowPage(page_ + 1); return;
    case Qt::Key_PageUp: ShowPage(page_ - 1); return;
    case Qt::Key_Home: ShowPage(1); return;
    case Qt::Key_End: ShowPage(PageCount()); return;
    default: break;
    }
    QDialog::keyPressEvent(event);
}

void ReportPreview::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (mode_ < 0) render();
}

void ReportPreview::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    render();
}
