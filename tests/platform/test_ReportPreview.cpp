#include "platform/ReportPreview.h"

#include "platform/DBAccess.h"
#include "platform/FileHold.h"

#include "ReportCapture.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>
#include <poppler-qt6.h>

namespace {

// A PDF of three A4 pages, the second one landscape.
QString MakePdf(const QString& folder) {
    const QString path = folder + "/pages.pdf";
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter p(&writer);
    for (int i = 1; i <= 3; ++i) {
        if (i > 1) {
            writer.setPageOrientation(i == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
            writer.newPage();
        }
        p.drawText(100, 100, QString("Page %1").arg(i));
        p.drawRect(50, 50, 300, 300);
    }
    p.end();
    return path;
}

QSizeF PageSize(const QString& pdf, int index) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdf);
    if (!doc) return {};
    std::unique_ptr<Poppler::Page> page = doc->page(index);
    return page ? page->pageSizeF() : QSizeF();
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        pdf = MakePdf(dir.path());
        ASSERT_EQ(PageSize(pdf, 1).width() > PageSize(pdf, 1).height(), true);
        window = std::make_unique<ReportPreview>(pdf);
        window->resize(800, 567);
        window->show();
        QApplication::processEvents();
    }
    QTemporaryDir dir;
    QString pdf;
    std::unique_ptr<ReportPreview> window;
};

TEST_F(Preview, OpensOnTheFirstPageWithTheButtonsThatMakeSense) {
    ASSERT_TRUE(window->IsLoaded());
    EXPECT_EQ(window->PageCount(), 3);
    EXPECT_EQ(window->CurrentPage(), 1);
    EXPECT_EQ(window->lblPage->text(), "1 / 3");
    EXPECT_FALSE(window->cmdFirst->isEnabled());
    EXPECT_FALSE(window->cmdPrev->isEnabled());
    EXPECT_TRUE(window->cmdNext->isEnabled());
    EXPECT_TRUE(window->cmdLast->isEnabled());
    EXPECT_TRUE(window->cmdPrint->isEnabled());
    EXPECT_EQ(window->windowTitle(), "印刷プレビュー");
    EXPECT_FALSE(window->PageImage().isNull());
}

TEST_F(Preview, ButtonsAndKeysTurnThePages) {
    window->cmdNext->click();
    EXPECT_EQ(window->CurrentPage(), 2);
    EXPECT_EQ(window->lblPage->text(), "2 / 3");
    EXPECT_TRUE(window->cmdPrev->isEnabled());
    window->cmdLast->click();
    EXPECT_EQ(window->CurrentPage(), 3);
    EXPECT_FALSE(window->cmdNext->isEnabled());
    window->cmdFirst->click();
    EXPECT_EQ(window->CurrentPage(), 1);
    QTest::keyClick(window.get(), Qt::Key_PageDown);
    EXPECT_EQ(window->CurrentPage(), 2);
    QTest::keyClick(window.get(), Qt::Key_End);
    EXPECT_EQ(window->CurrentPage(), 3);
    QTest::keyClick(window.get(), Qt::Key_PageDown);
    EXPECT_EQ(window->CurrentPage(), 3) << "no page after the last";
    QTest::keyClick(window.get(), Qt::Key_Home);
    EXPECT_EQ(window->CurrentPage(), 1);
    QTest::keyClick(window.get(), Qt::Key_PageUp);
    EXPECT_EQ(window->CurrentPage(), 1);
    window->ShowPage(99);
    EXPECT_EQ(window->CurrentPage(), 3);
}

TEST_F(Preview, EachPageIsShownInItsOwnShape) {
    window->SetDisplayMode(100);
    const QImage portrait = window->PageImage();
    window->ShowPage(2);
    const QImage landscape = window->PageImage();
    EXPECT_LT(portrait.width(), portrait.height());
    EXPECT_GT(landscape.width(), landscape.height());
}

TEST_F(Preview, ZoomFollowsTheDisplayMode) {
    const double ratio = window->devicePixelRatioF();
    window->SetDisplayMode(100);
    EXPECT_DOUBLE_EQ(window->Scale(), 1.0);
    // A4 is 595 points wide: 794 pixels at 96 dpi.
    EXPECT_NEAR(window->PageImage().width() / ratio, 595.3 * 96 / 72, 2);
    window->SetDisplayMode(50);
    EXPECT_NEAR(window->PageImage().width() / ratio, 595.3 * 96 / 72 / 2, 2);

    window->SetDisplayMode(-2);
    const QSize view = window->scrPage->viewport()->size();
    EXPECT_LE(window->PageImage().width() / ratio, view.width());
    EXPECT_LE(window->PageImage().height() / ratio, view.height());
    EXPECT_GT(window->PageImage().height() / ratio, view.height() * 0.9) << "the whole page fills the height";

    window->SetDisplayMode(-1);
    EXPECT_GT(window->PageImage().width() / ratio, view.width() * 0.9);
    EXPECT_LE(window->PageImage().width() / ratio, view.width());

    // The zoom box sets the mode too.
    window->cboZoom->setCurrentIndex(window->cboZoom->findData(200));
    EXPECT_EQ(window->DisplayMode(), 200);
    EXPECT_DOUBLE_EQ(window->Scale(), 2.0);
}

TEST_F(Preview, WholePageFollowsTheWindowSize) {
    window->SetDisplayMode(-2);
    const int before = window->PageImage().height();
    window->resize(1000, 900);
    QApplication::processEvents();
    EXPECT_GT(window->PageImage().height(), before);
}

// ---------------------------------------------------------------- printing to a file

int PdfPages(const QString& path) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    return doc ? doc->numPages() : 0;
}

TEST_F(Preview, WithoutAPrinterTheReportGoesToAPdfFileNamedAfterIt) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up on this machine";
    TempHome home;
    window->SetDocumentName("振替伝票_202604_No7");
    const QString file = home.Documents() + "/振替伝票_202604_No7.pdf";
    PrintDialogUser user({file});
    window->cmdPrint->click();
    EXPECT_EQ(user.OtherDialogs().join(", ").toStdString(), "");
    EXPECT_EQ(user.Proposed().join(", ").toStdString(), file.toStdString());
    EXPECT_EQ(PdfPages(file), 3);
}

TEST_F(Preview, TheFileDialogProposesTheFolderTheReportWasLastPrintedTo) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up on this machine";
    TempHome home;
    const QString folder = QFileInfo(home.Documents()).path() + "/帳票";
    ASSERT_TRUE(QDir().mkpath(folder));
    auto proposed = [&](const QString& name, const QString& answer) {
        window->SetDocumentName(name);
        PrintDialogUser user({answer});
        window->cmdPrint->click();
        return user.Proposed().join(", ").toStdString();
    };
    proposed("振替伝票_202604_No7", folder + "/伝票7.pdf");
    EXPECT_EQ(proposed("振替伝票_202604_No8", QString()), (folder + "/振替伝票_202604_No8.pdf").toStdString());
    EXPECT_EQ(proposed("総勘定元帳_100_202604", QString()), (home.Documents() + "/総勘定元帳_100_202604.pdf").toStdString())
        << "another report has a folder of its own";
}

TEST_F(Preview, AFileThereAlreadyIsReplacedOnlyWhenTheUserAgrees) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up on this machine";
    TempHome home;
    MsgRecorder msgs;
    window->SetDocumentName("総勘定元帳_100_202604-202605");
    const QString file = home.Documents() + "/総勘定元帳_100_202604-202605.pdf";
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the last print");
    }
    // The user picks the file that is there, says No, and cancels.
    msgs.Answer(vbNo);
    {
        PrintDialogUser user({file, QString()});
        window->cmdPrint->click();
        ASSERT_EQ(user.Proposed().size(), 2) << "No goes back to the dialog";
        EXPECT_EQ(user.Proposed()[0].toStdString(), (home.Documents() + "/総勘定元帳_100_202604-202605 (2).pdf").toStdString())
            << "a name not taken is proposed";
    }
    ASSERT_EQ(msgs.Calls().size(), 1u);
    EXPECT_TRUE(msgs.Last().prompt.contains("総勘定元帳_100_202604-202605.pdf")) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(msgs.Last().buttons(), vbYesNo);
    EXPECT_EQ(PdfPages(file), 0) << "the file is kept";
    // Again, and Yes.
    msgs.Answer(vbYes);
    {
        PrintDialogUser user({file});
        window->cmdPrint->click();
    }
    EXPECT_EQ(msgs.Calls().size(), 2u);
    EXPECT_EQ(PdfPages(file), 3) << "the file is replaced";
}

TEST_F(Preview, AFileThatCannotBeWrittenIsSaidNotToBePrinted) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up on this machine";
    TempHome home;
    MsgRecorder msgs;
    window->SetDocumentName("振替伝票_202604_No7");
    // A folder no file can be made in, whoever the user is.
    const QString file = "/proc/振替伝票_202604_No7.pdf";
    PrintDialogUser user({file});
    window->cmdPrint->click();
    ASSERT_EQ(msgs.Calls().size(), 1u) << "a print that went nowhere is not passed over in silence";
    EXPECT_TRUE(msgs.Last().prompt.contains("印刷できませんでした")) << msgs.Last().prompt.toStdString();
    EXPECT_TRUE(msgs.Last().prompt.contains(file)) << msgs.Last().prompt.toStdString();
    EXPECT_EQ(msgs.Last().icon(), vbExclamation);
}

// Another program on the book: opens it, runs one statement and ends.
int otherProgram(const QStringList& args) {
    DBAccess db;
    if (!db.ConnectFile(args[0])) return 2;
    RecordsetPtr rs = db.OpenRecordset(args[1]);
    std::printf("VALUE:%s\n", rs->Fields(0).Value().Text().toUtf8().constData());
    return 0;
}
const bool regOther = RegisterChild("otherprogram", otherProgram);

// Looking for where to print in the folder of the database (from the
// preview, and as a report printed straight away does) leaves the
// program's locks on it: another program opening and ending afterwards
// does not take the write-ahead log away, and what this program saves
// next is read by the program after it.
TEST_F(Preview, ThePdfFileDialogInTheDatabaseFolderKeepsTheProgramsHoldOnIt) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up on this machine";
    TempHome home;
    AppFolder folder(false);
    folder.Sql("CREATE TABLE C (N INTEGER)");
    DBAccess db;
    ASSERT_TRUE(folder.Connect(db)) << db.ErrorText().toStdString();
    EXPECT_EQ(db.OpenRecordset("SELECT COUNT(*) FROM C")->Fields(0).Value().Text(), "0");
    const FileIdentity shm = FileIdentity::Of(folder.DbFile() + "-shm");
    ASSERT_TRUE(FileHold::HoldsLock(shm));
    for (int way = 1; way <= 2; ++way) {
        SCOPED_TRACE(way);
        {
            PrintDialogUser user({folder.Path() + "/"});
            if (way == 1) {
                window->cmdPrint->click();
            } else {
                QPrinter printer;
                EXPECT_FALSE(ChooseReportOutput(printer, "振替伝票", 0, nullptr));
            }
            EXPECT_EQ(user.Proposed().size(), 1);
        }
        EXPECT_TRUE(FileHold::HoldsLock(shm));
        QString out;
        ASSERT_EQ(RunChild("otherprogram", {folder.DbFile(), "SELECT COUNT(*) FROM C"}, &out), 0) << out.toStdString();
        db.BeginTrans();
        ASSERT_TRUE(db.Execute(QString("INSERT INTO C VALUES (%1)").arg(way))) << db.ErrorText().toStdString();
        db.CommitTrans();
        ASSERT_EQ(RunChild("otherprogram", {folder.DbFile(), "SELECT GROUP_CONCAT(N) FROM C"}, &out), 0);
        EXPECT_TRUE(out.contains(way == 1 ? "VALUE:1\n" : "VALUE:1,2\n")) << out.toStdString();
    }
}

TEST(PreviewOfNothing, UnreadableFileShowsAMessageAndNoPages) {
    QTemporaryDir dir;
    ReportPreview w(dir.path() + "/missing.pdf");
    EXPECT_FALSE(w.IsLoaded());
    EXPECT_EQ(w.PageCount(), 0);
    EXPECT_EQ(w.CurrentPage(), 0);
    EXPECT_FALSE(w.cmdPrint->isEnabled());
    EXPECT_FALSE(w.cmdNext->isEnabled());
    EXPECT_FALSE(w.lblView->text().isEmpty());
}

TEST(PrintPdfPages, EveryPageReachesThePrinterInItsOrientation) {
    QTemporaryDir dir;
    const QString pdf = MakePdf(dir.path());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(150);
    const QString printed = dir.path() + "/printed.pdf";
    printer.setOutputFileName(printed);
    ASSERT_TRUE(PrintPdfPages(pdf, printer));
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(printed);
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->numPages(), 3);
    for (int i = 0; i < 3; ++i) {
        const QSizeF s = doc->page(i)->pageSizeF();
        EXPECT_EQ(s.width() > s.height(), i == 1) << "page " << i + 1;
    }
    // The page's drawing arrives on paper, not a blank sheet.
    const QImage img = doc->page(0)->renderToImage(36, 36);
    bool ink = false;
    for (int y = 0; y < img.height() && !ink; ++y)
        for (int x = 0; x < img.width() && !ink; ++x) ink = qGray(img.pixel(x, y)) < 128;
    EXPECT_TRUE(ink);
    EXPECT_FALSE(PrintPdfPages(dir.path() + "/missing.pdf", printer));
}

}  // namespace

namespace {

TEST(PrintPdfPages, APdfFileChosenForPrintingIsTheDocumentItself) {
    QTemporaryDir dir;
    const QString pdf = MakePdf(dir.path());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString printed = dir.path() + "/printed.pdf";
    printer.setOutputFileName(printed);
    ASSERT_TRUE(PrintPdfPages(pdf, printer));
    QFile a(pdf), b(printed);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll()) << "the file is the PDF, not pictures of its pages ("
                                            << QFileInfo(printed).size() << " bytes for " << QFileInfo(pdf).size()
                                            << ")";
}

TEST(PrintPdfPages, APrinterGetsThePdfWithTheCopiesAndPagesChosen) {
    QTemporaryDir dir;
    const QString pdf = MakePdf(dir.path());
    std::vector<PdfPrintJob> jobs;
    SetPdfPrintJobHandler([&](const PdfPrintJob& job) {
        jobs.push_back(job);
        return true;
    });
    // A printer chosen in the print dialog (no output file).
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName("office");
    printer.setOutputFileName(QString());
    printer.setDocName("総勘定元帳");
    printer.setCopyCount(2);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    // Qt keeps the name of a printer the printing system knows only.
    const bool known = !printer.printerName().isEmpty();
    const bool printed = PrintPdfPages(pdf, printer);
    SetPdfPrintJobHandler(nullptr);
    if (!known) GTEST_SKIP() << "no printer is set up on this machine";
    ASSERT_TRUE(printed);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].pdfPath, pdf);
    EXPECT_EQ(jobs[0].printer, printer.printerName());
    EXPECT_EQ(jobs[0].title, "総勘定元帳");
    EXPECT_EQ(jobs[0].copies, 2);
    EXPECT_EQ(jobs[0].fromPage, 2);
    EXPECT_EQ(jobs[0].toPage, 3);
}

}  // namespace
