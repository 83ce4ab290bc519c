#include "ReportCapture.h"

#include "common/basStdComm.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <poppler-qt6.h>

QString ReportTemplateDir() {
#ifdef TAVIK_REPORTS_DIR
    if (QFileInfo(TAVIK_REPORTS_DIR).isDir()) return QStringLiteral(TAVIK_REPORTS_DIR);
#endif
    return qEnvironmentVariable("TAVIK_BIN_DIR") + "/Report";
}

void CopyReportTemplates() {
    const QString target = basStdComm::gstrReportPath;
    ASSERT_FALSE(target.isEmpty());
    ASSERT_TRUE(QDir().mkpath(target));
    const QDir source(ReportTemplateDir());
    const QStringList files = source.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << "no report templates in " << source.path().toStdString();
    for (const QString& f : files) {
        QFile::remove(target + f);
        ASSERT_TRUE(QFile::copy(source.filePath(f), target + f)) << f.toStdString();
    }
}

bool CanRenderReports() {
    return !qEnvironmentVariable("TAVIK_SOFFICE").isEmpty() || !QStandardPaths::findExecutable("soffice").isEmpty() ||
           !QStandardPaths::findExecutable("libreoffice").isEmpty();
}

ReportCapture::ReportCapture(bool renderPdf) {
    keep_ = temp_.path() + "/output";
    const QString folder = qEnvironmentVariable("TAVIK_KEEP_REPORTS");
    if (!folder.isEmpty() && QDir().mkpath(folder)) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        keep_ = folder + "/" + (info ? QString::fromUtf8(info->test_suite_name()) + "." + info->name() : "output");
    }
    SetReportOutputHandler(
        [this](const ReportOutput& out) {
            ReportOutput kept = out;
            const QString n = QString::number(outputs_.size() + 1);
            if (!out.workbookPath.isEmpty()) {
                kept.workbookPath = keep_ + n + ".xlsx";
                QFile::remove(kept.workbookPath);
                QFile::copy(out.workbookPath, kept.workbookPath);
            }
            if (!out.pdfPath.isEmpty()) {
                kept.pdfPath = keep_ + n + ".pdf";
                QFile::remove(kept.pdfPath);
                QFile::copy(out.pdfPath, kept.pdfPath);
            }
            outputs_.push_back(kept);
        },
        renderPdf);
}

ReportCapture::~ReportCapture() { SetReportOutputHandler(nullptr); }

QString PdfText(const QString& pdfPath) {
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", pdfPath, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString PdfTextCompact(const QString& pdfPath) {
    QString t = PdfText(pdfPath);
    t.remove(QChar(0x3000));
    t.remove(' ');
    return t;
}

QStringList PdfFonts(const QString& pdfPath) {
    QStringList names;
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdfPath);
    if (!doc) return names;
    for (const Poppler::FontInfo& f : doc->fonts()) {
        QString n = f.name();
        if (n.size() > 7 && n[6] == '+') n = n.mid(7);
        if (!names.contains(n)) names << n;
    }
    return names;
}

QRectF PdfInkBox(const QString& pdfPath, int page) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdfPath);
    if (!doc || doc->isLocked() || page < 0 || page >= doc->numPages()) return QRectF();
    std::unique_ptr<Poppler::Page> p = doc->page(page);
    if (!p) return QRectF();
    const double dpi = 144.0;
    const QImage image = p->renderToImage(dpi, dpi).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) return QRectF();
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(line[x]) >= 250) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return QRectF();
    const double pt = 72.0 / dpi;
    return QRectF(left * pt, top * pt, (right - left + 1) * pt, (bottom - top + 1) * pt);
}

QSizeF PdfPageSize(const QString& pdfPath, int page) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdfPath);
    if (!doc || doc->isLocked() || page < 0 || page >= doc->numPages()) return QSizeF();
    std::unique_ptr<Poppler::Page> p = doc->page(page);
    return p ? p->pageSizeF() : QSizeF();
}

namespace {

// The lines of a page drawn across (or, with down, down the page) at least
// minLength points long, dotted ones too.
std::vector<PdfRule> PdfRules(const QString& pdfPath, int page, double minLength, bool down) {
    std::vector<PdfRule> rules;
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdfPath);
    if (!doc || doc->isLocked() || page < 0 || page >= doc->numPages()) return rules;
    std::unique_ptr<Poppler::Page> p = doc->page(page);
    if (!p) return rules;
    const double dpi = 144.0;
    const double pt = 72.0 / dpi;
    const QImage image = p->renderToImage(dpi, dpi).convertToFormat(QImage::Format_RGB32);
    const int lines = down ? image.width() : image.height();
    const int length = down ? image.height() : image.width();
    const int gap = 4;   // pixels between the dots of a dotted line
    for (int i = 0; i < lines; ++i) {
        // Light fills of the form are no line.
        auto dark = [&](int k) { return qGray(down ? image.pixel(i, k) : image.pixel(k, i)) < 200; };
        int k = 0;
        while (k < length) {
            if (!dark(k)) {
                ++k;
                continue;
            }
            int start = k, end = k, inked = 0;
            for (int blank = 0; k < length && blank <= gap; ++k) {
                if (dark(k)) {
                    end = k;
                    ++inked;
                    blank = 0;
                } else {
                    ++blank;
                }
            }
            if ((end - start + 1) * pt >= minLength && inked * 3 >= end - start + 1)
                rules.push_back({(i + 0.5) * pt, start * pt, (end + 1) * pt});
            k = end + 1;
        }
    }
    return rules;
}

}  // namespace

std::vector<PdfRule> PdfHorizontalRules(const QString& pdfPath, int page, double minLength) {
    return PdfRules(pdfPath, page, minLength, false);
}

std::vector<PdfRule> PdfVerticalRules(const QString& pdfPath, int page, double minLength) {
    return PdfRules(pdfPath, page, minLength, true);
}

std::vector<PdfTextRow> PdfTextRows(const QString& pdfPath, int page) {
    std::vector<PdfTextRow> rows;
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdfPath);
    if (!doc || doc->isLocked() || page < 0 || page >= doc->numPages()) return rows;
    std::unique_ptr<Poppler::Page> p = doc->page(page);
    if (!p) return rows;
    for (const std::unique_ptr<Poppler::TextBox>& box : p->textList())
        rows.push_back({box->text(), box->boundingBox()});
    return rows;
}

TempHome::TempHome() {
    home_ = qgetenv("HOME");
    hadConfig_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    config_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(dir_.path()));
    qunsetenv("XDG_CONFIG_HOME");
    QDir(dir_.path()).mkpath("Documents");
}

TempHome::~TempHome() {
    qputenv("HOME", home_);
    if (hadConfig_) qputenv("XDG_CONFIG_HOME", config_);
}

QString TempHome::Documents() const { return dir_.path() + "/Documents"; }

PrintDialogUser::PrintDialogUser(const QStringList& answers) : answers_(answers.begin(), answers.end()) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        QWidget* w = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible()) return;
        if (auto* progress = qobject_cast<QProgressDialog*>(dialog)) {
            if (!progress_.contains(progress->labelText())) progress_ << progress->labelText();
            return;
        }
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            others_ << dialog->metaObject()->className();
            dialog->reject();
            return;
        }
        const QString answer = answers_.empty() ? QString() : answers_.front();
        if (answer.endsWith('/')) {
            // Shown, and left once the folder's files are listed (or after
            // two seconds).
            const QString folder = QFileInfo(answer).absolutePath();
            if (listedTicks_++ == 0) {
                listed_ = false;
                if (auto* model = files->findChild<QFileSystemModel*>())
                    QObject::connect(model, &QFileSystemModel::directoryLoaded, files,
                                     [this, folder](const QString& path) { listed_ = listed_ || path == folder; });
                files->setDirectory(folder);
            }
            if (!(listed_ && listedTicks_ > 4) && listedTicks_ < 40) return;
            listedTicks_ = 0;
        }
        proposed_ << files->selectedFiles().value(0);
        if (!answers_.empty()) answers_.pop_front();
        if (answer.isEmpty() || answer.endsWith('/')) {
            files->reject();
            return;
        }
        // Typed into the name field, as a user does (choosing a file that
        // is there through the list would wait for the folder to be read).
        files->setDirectory(QFileInfo(answer).absolutePath());
        if (auto* edit = files->findChild<QLineEdit*>("fileNameEdit"))
            edit->setText(QFileInfo(answer).fileName());
        else
            files->selectFile(QFileInfo(answer).fileName());
        QMetaObject::invokeMethod(files, "accept");
    });
    timer_.start(50);
}

ConversionSettings::~ConversionSettings() {
    XlsReport::ParallelConversion(100, 4);
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("TAVIK_SOFFICE", soffice);
    restore("TAVIK_PDFUNITE", pdfunite);
}

QString FakeConverter(const QString& folder) {
    const QString path = folder + "/soffice";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write("#!/bin/sh\n"
            "for a in \"$@\"; do case \"$a\" in -env:UserInstallation=file://*) profile=${a#-env:UserInstallation=file://};; esac; "
            "last=$a; done\n"
            "case \"$last\" in *fail*) sleep 1; echo broken piece; exit 1;; esac\n"
            "echo \"$profile\" > \"" + QFile::encodeName(folder) + "/run.$$\"\n"
            "exec sleep 300\n");
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
}
