#include "platform/XlsReport.h"

#include "ReportCapture.h"
#include "TestSupport.h"
#include "common/basStdComm.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <zip.h>
#include <QImage>
#include <poppler-qt6.h>
#include <sstream>
#include <memory>
#include <optional>
#include "platform/ProgressDialog.h"
#include "platform/ReportConverter.h"
#include <QTimer>
#include <QPrinterInfo>
#include <QDir>
#include <QElapsedTimer>
#include <csignal>
#include <sys/types.h>

namespace {

// ---------------------------------------------------------------- reading a workbook back

std::map<std::string, std::string> Unzip(const QString& path) {
    std::map<std::string, std::string> parts;
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!z) return parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, i, 0, &st);
        std::string data(static_cast<size_t>(st.size), '\0');
        zip_file_t* f = zip_fopen_index(z, i, 0);
        zip_fread(f, data.data(), st.size);
        zip_fclose(f);
        parts[st.name] = data;
    }
    zip_discard(z);
    return parts;
}

struct Book {
    std::map<std::string, std::string> parts;
    explicit Book(const QString& path) : parts(Unzip(path)) {}
    bool Load(pugi::xml_document& doc, const std::string& part) const {
        auto it = parts.find(part);
        return it != parts.end() && doc.load_string(it->second.c_str());
    }
    int SheetCount() const {
        pugi::xml_document doc;
        if (!Load(doc, "xl/workbook.xml")) return -1;
        int n = 0;
        for (auto s : doc.child("workbook").child("sheets").children("sheet")) (void)s, ++n;
        return n;
    }
    // The <c> element of a cell of output sheet n (1-based); empty when absent.
    pugi::xml_node Cell(pugi::xml_document& doc, int sheet, const QString& address) const {
        if (!Load(doc, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml")) return {};
        for (auto row : doc.child("worksheet").child("sheetData").children("row"))
            for (auto c : row.children("c"))
                if (address == c.attribute("r").value()) return c;
        return {};
    }
    int MergeCount(int sheet) const {
        pugi::xml_document doc;
        if (!Load(doc, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml")) return -1;
        return doc.child("worksheet").child("mergeCells").attribute("count").as_int(-1);
    }
    QString Orientation(int sheet) const {
        pugi::xml_document doc;
        if (!Load(doc, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml")) return QString();
        return doc.child("worksheet").child("pageSetup").attribute("orientation").value();
    }
    // Texts of all cells of a sheet (shared and inline).
    QStringList Texts(int sheet) const {
        QStringList sst;
        pugi::xml_document strings;
        if (Load(strings, "xl/sharedStrings.xml"))
            for (auto si : strings.child("sst").children("si")) sst << QString::fromUtf8(si.child("t").text().get());
        QStringList out;
        pugi::xml_document doc;
        if (!Load(doc, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml")) return out;
        for (auto row : doc.child("worksheet").child("sheetData").children("row"))
            for (auto c : row.children("c")) {
                std::string t = c.attribute("t").value();
                if (t == "s") out << sst.value(c.child("v").text().as_int());
                if (t == "inlineStr") out << QString::fromUtf8(c.child("is").child("t").text().get());
            }
        return out;
    }
};

// Address parts: "D15" -> column letters and row.
long RowOf(const QString& address) { return address.mid(address.indexOf(QRegularExpression("[0-9]"))).toLong(); }
QString ColumnOf(const QString& address) { return address.left(address.indexOf(QRegularExpression("[0-9]"))); }

class XlsReportTest : public ::testing::Test {
protected:
    QString Voucher() const { return ReportTemplateDir() + "/WKP410.XLS"; }
    QString Ledger() const { return ReportTemplateDir() + "/WLP410.XLS"; }
    void Begin(XlsReport& r, const QString& file) {
        r.TemplateFile(file);
        r.BeginReport();
    }
    QTemporaryDir dir_;
};

// ---------------------------------------------------------------- errors

TEST_F(XlsReportTest, MissingTemplateRaisesTheTemplateErrorThatTheErrorReportKnows) {
    XlsReport r;
    r.TemplateFile(dir_.path() + "/NONE.XLS");
    EXPECT_EQ(ErrorOf([&] { r.BeginReport(); }), basStdComm::errReportTemplateMissing);
    EXPECT_EQ(xlrErrTemplateMissing, basStdComm::errReportTemplateMissing);
    EXPECT_FALSE(r.Begun());
    r.TemplateFile(QString());
    EXPECT_EQ(ErrorOf([&] { r.BeginReport(); }), xlrErrTemplateMissing);
}

TEST_F(XlsReportTest, FileThatIsNoWorkbookRaisesInvalidTemplate) {
    QFile f(dir_.path() + "/BAD.XLS");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a workbook");
    f.close();
    XlsReport r;
    r.TemplateFile(f.fileName());
    EXPECT_EQ(ErrorOf([&] { r.BeginReport(); }), xlrErrTemplateInvalid);
}

TEST_F(XlsReportTest, UnknownSheetOrMarkerRaises) {
    XlsReport r;
    Begin(r, Voucher());
    EXPECT_EQ(ErrorOf([&] { r.NewPage("7", "1"); }), xlrErrSheetMissing);
    r.NewPage("6", "1");
    EXPECT_EQ(ErrorOf([&] { r.MarkerCell("**Nothing"); }), xlrErrMarkerMissing);
    // The lower block's markers belong to sheet "9" only.
    EXPECT_EQ(ErrorOf([&] { r.MarkerCell("**Gyo_2"); }), xlrErrMarkerMissing);
    // Moving off the sheet.
    EXPECT_EQ(ErrorOf([&] { r.MarkerCell("**Gyo", -5, 0); }), xlrErrMarkerMissing);
}

TEST_F(XlsReportTest, CallsOutOfOrderRaise) {
    XlsReport r;
    EXPECT_EQ(ErrorOf([&] { r.NewPage("6", "1"); }), xlrErrNotBegun);
    EXPECT_EQ(ErrorOf([&] { r.PrintOut(); }), xlrErrNotBegun);
    Begin(r, Voucher());
    EXPECT_EQ(ErrorOf([&] { r.MarkerCell("**Gyo"); }), xlrErrNoPage);
}

// ---------------------------------------------------------------- cells

TEST_F(XlsReportTest, TextsNumbersAndDatesAreStoredAsTheirKind) {
    XlsReport r;
    Begin(r, Ledger());
    r.NewPage("LP410", "1");
    r.MarkerCell("**DENO").Value("'0012");
    r.MarkerCell("**AKMK").Value("'");
    r.MarkerCell("**KARI").Value(1234567);
    r.MarkerCell("**KASI").Value(1234.5);
    r.MarkerCell("**YMDS").Value(QDate(2026, 4, 1));
    r.MarkerCell("**TEKIYO").Value(QString());
    r.MarkerCell("**ZKBN").Value("'Tab\tand bell\a");

    EXPECT_EQ(r.MarkerCell("**DENO").Value(), QVariant("0012"));
    EXPECT_FALSE(r.MarkerCell("**AKMK").Value().isValid());

    const QString path = dir_.path() + "/out.xlsx";
    r.SaveWorkbook(path);
    Book book(path);
    pugi::xml_document doc;
    auto text = book.Cell(doc, 1, r.MarkerCell("**DENO").Address());
    EXPECT_STREQ(text.attribute("t").value(), "inlineStr");
    EXPECT_STREQ(text.child("is").child("t").text().get(), "0012");
    EXPECT_TRUE(text.attribute("s")) << "the template's cell format stays";

    auto empty = book.Cell(doc, 1, r.MarkerCell("**AKMK").Address());
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty.attribute("t"));
    EXPECT_FALSE(empty.child("v"));
    EXPECT_FALSE(empty.child("is"));

    auto number = book.Cell(doc, 1, r.MarkerCell("**KARI").Address());
    EXPECT_FALSE(number.attribute("t"));
    EXPECT_STREQ(number.child("v").text().get(), "1234567");
    EXPECT_STREQ(book.Cell(doc, 1, r.MarkerCell("**KASI").Address()).child("v").text().get(), "1234.5");
    // 1 April 2026 is day 46113 of the spreadsheet calendar.
    EXPECT_STREQ(book.Cell(doc, 1, r.MarkerCell("**YMDS").Address()).child("v").text().get(), "46113");
    EXPECT_FALSE(book.Cell(doc, 1, r.MarkerCell("**TEKIYO").Address()).child("is"));
    // Control characters cannot travel in the workbook; tabs can.
    EXPECT_STREQ(book.Cell(doc, 1, r.MarkerCell("**ZKBN").Address()).child("is").child("t").text().get(),
                 "Tab\tand bell");
}

TEST_F(XlsReportTest, OffsetsMoveFromTheMarkerCell) {
    XlsReport r;
    Begin(r, Voucher());
    r.NewPage("6", "1");
    const QString gyo = r.MarkerCell("**Gyo").Address();
    EXPECT_EQ(RowOf(r.MarkerCell("**Gyo", 0, 4).Address()), RowOf(gyo) + 4);
    EXPECT_EQ(ColumnOf(r.MarkerCell("**Gyo", 0, 4).Address()), ColumnOf(gyo));
    const QString kin = r.MarkerCell("**Kin(1)").Address();
    EXPECT_EQ(RowOf(r.MarkerCell("**Kin(1)", 1, 0).Address()), RowOf(kin));
    EXPECT_EQ(ColumnOf(r.MarkerCell("**Kin(1)", 1, 0).Address()), QString(QChar(ColumnOf(kin)[0].unicode() + 1)));

    // A cell outside the template's cells is made on the fly.
    r.MarkerCell("**Gyo", 0, 400).Value(7);
    const QString path = dir_.path() + "/out.xlsx";
    r.SaveWorkbook(path);
    pugi::xml_document doc;
    EXPECT_STREQ(Book(path).Cell(doc, 1, r.MarkerCell("**Gyo", 0, 400).Address()).child("v").text().get(), "7");
}

// ---------------------------------------------------------------- pages

TEST_F(XlsReportTest, EachPageIsACopyOfItsTemplateSheet) {
    XlsReport r;
    Begin(r, Voucher());
    r.NewPage("6", "1");
    r.MarkerCell("**Kmk(1)").Value("現金");
    const QString kmk = r.MarkerCell("**Kmk(1)").Address();
    r.EndPage();
    r.NewPage("9", "1");
    r.MarkerCell("**Kmk(1)_2").Value("売上高");
    r.EndPage();
    r.NewPage("6", "1");
    const QString path = dir_.path() + "/out.xlsx";
    r.SaveWorkbook(path);

    const QString tplPath = dir_.path() + "/tpl.xlsx";
    QFile::copy(Voucher(), tplPath);
    Book tpl(tplPath), book(path);
    ASSERT_EQ(book.SheetCount(), 3);
    EXPECT_EQ(book.MergeCount(1), tpl.MergeCount(1));
    EXPECT_EQ(book.MergeCount(2), tpl.MergeCount(2));
    EXPECT_EQ(book.MergeCount(3), tpl.MergeCount(1));
    EXPECT_EQ(book.Orientation(1), "landscape");
    EXPECT_EQ(book.Orientation(2), "portrait");
    EXPECT_TRUE(book.Texts(1).contains("現金"));
    EXPECT_TRUE(book.Texts(2).contains("売上高"));
    EXPECT_FALSE(book.Texts(3).contains("現金")) << "a new page starts from the template, not the last page";
    pugi::xml_document doc;
    EXPECT_FALSE(book.Cell(doc, 3, kmk).child("is"));
}

TEST_F(XlsReportTest, MarkersNeverWrittenComeOutEmpty) {
    XlsReport r;
    Begin(r, Voucher());
    r.NewPage("9", "1");
    r.MarkerCell("**Kmk(1)").Value("現金");
    const QString path = dir_.path() + "/out.xlsx";
    r.SaveWorkbook(path);
    const QStringList texts = Book(path).Texts(1);
    EXPECT_TRUE(texts.contains("振　替　伝　票"));
    EXPECT_TRUE(texts.contains("現金"));
    for (const QString& t : texts) EXPECT_FALSE(t.startsWith("**")) << t.toStdString();
}

TEST_F(XlsReportTest, OutputTakesEveryPageIncludingAnOpenLastOne) {
    ReportCapture capture;
    XlsReport r;
    Begin(r, Voucher());
    r.NewPage("6", "1");
    r.MarkerCell("**Gyo").Value(1);
    r.EndPage();
    r.EndPage();   // nothing open: no effect
    r.NewPage("12", "1");
    r.MarkerCell("**Gyo", 0, 4).Value(2);
    r.PrintOut();

    ASSERT_EQ(capture.Outputs().size(), 1u);
    const ReportOutput& out = capture.Last();
    EXPECT_EQ(out.kind, ReportOutput::Print);
    EXPECT_EQ(out.pageCount, 2);
    ASSERT_EQ(out.pages.size(), 2u);
    EXPECT_EQ(out.pages[0].sheet, "6");
    EXPECT_TRUE(out.pages[0].ended);
    EXPECT_EQ(out.pages[1].sheet, "12");
    EXPECT_FALSE(out.pages[1].ended);
    ASSERT_NE(out.pages[1].Find("**Gyo", 0, 4), nullptr);
    EXPECT_EQ(out.pages[1].Find("**Gyo", 0, 4)->stored.toLongLong(), 2);
    EXPECT_EQ(out.pages[1].Find("**Gyo"), nullptr);
    EXPECT_EQ(out.calls, QStringList({"BeginReport", "NewPage 6", "EndPage", "EndPage", "NewPage 12", "PrintOut"}));
    EXPECT_EQ(Book(out.workbookPath).SheetCount(), 2);
    EXPECT_TRUE(out.pdfPath.isEmpty());
}

TEST_F(XlsReportTest, PreviewHandsOnSizeAndWindowSettings) {
    ReportCapture capture;
    XlsReport r;
    Begin(r, Ledger());
    r.PreviewWindow().DisplayMode = -2;
    r.PreviewWindow().DisplayStyle = 1;
    r.PreviewWindow().Caption = "総勘定元帳";
    r.NewPage("LP410", "1");
    r.Preview(800, 567);
    ASSERT_FALSE(capture.Empty());
    EXPECT_EQ(capture.Last().kind, ReportOutput::Preview);
    EXPECT_EQ(capture.Last().previewWidth, 800);
    EXPECT_EQ(capture.Last().previewHeight, 567);
    EXPECT_EQ(capture.Last().previewWindow.DisplayMode, -2);
    EXPECT_EQ(capture.Last().previewWindow.DisplayStyle, 1);
    EXPECT_EQ(capture.Last().previewWindow.Caption, "総勘定元帳");
}

TEST_F(XlsReportTest, WithoutAPrinterPrintOutProposesAPdfFileOfTheReportsName) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is set up on this machine";
    TempHome home;
    XlsReport r;
    r.OutputName("振替伝票_202604_No12");
    Begin(r, Voucher());
    r.NewPage("6", "1");
    r.MarkerCell("**Gyo").Value(1);
    const QString file = home.Documents() + "/振替伝票_202604_No12.pdf";
    PrintDialogUser user({file});
    r.PrintOut();
    EXPECT_EQ(user.OtherDialogs().join(", ").toStdString(), "");
    EXPECT_EQ(user.Proposed().join(", ").toStdString(), file.toStdString());
    EXPECT_EQ(XlsReport::PdfPageCount(file), 1);
    EXPECT_EQ(user.Progress().join(", ").toStdString(), "PDFファイルを作成中") << "the PDF being made shows at once";
}

TEST_F(XlsReportTest, AbortDropsEverything) {
    ReportCapture capture;
    XlsReport r;
    Begin(r, Voucher());
    r.NewPage("6", "1");
    r.Abort();
    EXPECT_FALSE(r.Begun());
    EXPECT_EQ(r.PageCount(), 0);
    EXPECT_EQ(ErrorOf([&] { r.PrintOut(); }), xlrErrNotBegun);
    EXPECT_TRUE(capture.Empty());
    // The control can begin again.
    Begin(r, Voucher());
    r.NewPage("6", "1");
    r.PrintOut();
    EXPECT_EQ(capture.Last().pages.size(), 1u);
}

TEST_F(XlsReportTest, OutputNamesTheIpaFontsForTheWindowsFonts) {
    XlsReport r;
    Begin(r, Voucher());
    r.NewPage("6", "1");
    const QString path = dir_.path() + "/out.xlsx";
    r.SaveWorkbook(path);
    const QString styles = QString::fromStdString(Book(path).parts["xl/styles.xml"]);
    EXPECT_TRUE(styles.contains("\"IPAPGothic\""));
    EXPECT_TRUE(styles.contains("\"IPAGothic\""));
    EXPECT_FALSE(styles.contains("ＭＳ"));
}

// ---------------------------------------------------------------- the templates

TEST_F(XlsReportTest, VoucherTemplateHoldsEveryMarkerOfEachBlock) {
    XlsReport r;
    Begin(r, Voucher());
    const QStringList header = {"**SskGrp", "**Gyo", "**Page", "**Date", "**Denno", "**Dtekiyo", "**Tanto",
                                "**Sum(1)", "**Sum(2)"};
    const QStringList line = {"**Kmkcd(", "**Hk1cd(", "**Hk2cd(", "**Zkbn(", "**Kmk(", "**Hk1(",
                              "**Hk2(",   "**Kin(",   "**Tri(",   "**Tekiyo(", "**Zkbnnm(", "**Tax("};
    const struct {
        QString sheet;
        QStringList suffixes;
        long lines;
    } sheets[] = {{"6", {""}, 6}, {"9", {"", "_2"}, 6}, {"12", {""}, 12}};
    for (const auto& s : sheets) {
        r.NewPage(s.sheet, "1");
        for (const QString& suffix : s.suffixes) {
            SCOPED_TRACE((s.sheet + suffix).toStdString());
            for (const QString& m : header) EXPECT_NO_THROW(r.MarkerCell(m + suffix)) << m.toStdString();
            const long gyo = RowOf(r.MarkerCell("**Gyo" + suffix).Address());
            const long sum = RowOf(r.MarkerCell("**Sum(1)" + suffix).Address());
            // Four rows a line, the totals right below the last line.
            EXPECT_EQ(sum, gyo + 4 * s.lines);
            for (const QString& m : line)
                for (const QString side : {"1", "2"}) {
                    const QString marker = m + side + ")" + suffix;
                    EXPECT_NO_THROW(r.MarkerCell(marker)) << marker.toStdString();
                    const long row = RowOf(r.MarkerCell(marker).Address());
                    EXPECT_GE(row, gyo);
                    EXPECT_LT(row, gyo + 4) << marker.toStdString() << " lies in the first line";
                }
            // Both sides of a line share its rows.
            EXPECT_EQ(RowOf(r.MarkerCell("**Kmk(1)" + suffix).Address()),
                      RowOf(r.MarkerCell("**Kmk(2)" + suffix).Address()));
        }
        r.EndPage();
    }
}

TEST_F(XlsReportTest, LedgerTemplateHoldsHeaderAndLineMarkers) {
    XlsReport r;
    Begin(r, Ledger());
    r.NewPage("LP410", "1");
    for (const char* m : {"**TITLE", "**MUMI", "**SSK", "**GRP", "**KAMOKU", "**YMDS", "**YMDE", "**PAGE", "**PRDT"})
        EXPECT_NO_THROW(r.MarkerCell(m)) << m;
    long row = -1;
    for (const char* m : {"**DATE", "**DENO", "**AKMK", "**AHK1", "**AHK2", "**ZKBN", "**KARI", "**KASI", "**ZAND",
                          "**TEKIYO"}) {
        ASSERT_NO_THROW(r.MarkerCell(m)) << m;
        const long r0 = RowOf(r.MarkerCell(m).Address());
        if (row < 0) row = r0;
        EXPECT_EQ(r0, row) << m << " on the first line's row";
    }
    const QString path = dir_.path() + "/out.xlsx";
    r.SaveWorkbook(path);
    // Thirty lines two rows apart: the last line's cells are in the template (framed).
    pugi::xml_document doc;
    auto last = Book(path).Cell(doc, 1, r.MarkerCell("**ZAND", 0, 58).Address());
    ASSERT_TRUE(last);
    EXPECT_TRUE(last.attribute("s"));
}

// ---------------------------------------------------------------- rendered pages

TEST_F(XlsReportTest, RenderedSheetsFitOnePageEachInIpaFonts) {
    if (!CanRenderReports()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    ReportCapture capture(true);
    XlsReport voucher;
    Begin(voucher, Voucher());
    for (const char* s : {"6", "9", "12"}) {
        voucher.NewPage(s, "1");
        voucher.MarkerCell("**Date").Value("2026/04/15");
        voucher.EndPage();
    }
    voucher.PrintOut();
    XlsReport ledger;
    Begin(ledger, Ledger());
    ledger.NewPage("LP410", "1");
    ledger.MarkerCell("**TITLE").Value("総　勘　定　元　帳");
    ledger.MarkerCell("**AHK2", 0, 0).Value("前月繰越金");
    ledger.MarkerCell("**AHK2", 0, 2).Value("4月合計");
    ledger.MarkerCell("**KARI", 0, 2).Value(1234567);
    ledger.MarkerCell("**PRDT").Value(QDate(2026, 4, 30));
    ledger.NewPage("LP410", "1");
    ledger.Preview(800, 567);

    ASSERT_EQ(capture.Outputs().size(), 2u);
    EXPECT_EQ(capture.Outputs()[0].pageCount, 3);
    EXPECT_EQ(capture.Outputs()[1].pageCount, 2);
    const QString v = PdfTextCompact(capture.Outputs()[0].pdfPath);
    EXPECT_TRUE(v.contains("振替伝票"));
    EXPECT_TRUE(v.contains("伝票日付"));
    EXPECT_TRUE(v.contains("2026/04/15"));
    const QString l = PdfTextCompact(capture.Outputs()[1].pdfPath);
    EXPECT_TRUE(l.contains("総勘定元帳"));
    EXPECT_TRUE(l.contains("4月合計"));
    EXPECT_TRUE(l.contains("作成日"));
    EXPECT_TRUE(l.contains("1,234,567")) << "the template's number format shows the grouping";
    EXPECT_TRUE(l.contains("2026/04/30")) << "the template's date format shows the date";
    for (const auto& out : capture.Outputs()) {
        const QStringList fonts = PdfFonts(out.pdfPath);
        EXPECT_TRUE(fonts.contains("IPAPGothic")) << fonts.join(",").toStdString();
        EXPECT_TRUE(fonts.contains("IPAGothic")) << fonts.join(",").toStdString();
    }
}

}  // namespace

// ---------------------------------------------------------------- print scale

namespace {

bool Zip(const QString& path, const std::map<std::string, std::string>& parts) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) return false;
    for (const auto& [name, data] : parts) {
        zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
        if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

std::vector<QImage> PageImages(const QString& pdf) {
    std::vector<QImage> pages;
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdf);
    if (!doc) return pages;
    for (int i = 0; i < doc->numPages(); ++i) pages.push_back(doc->page(i)->renderToImage(150, 150));
    return pages;
}

}  // namespace

TEST_F(XlsReportTest, TemplateSheetsPrintAtAFixedScaleThatGivesTheFittedPage) {
    for (const QString& file : {Voucher(), Ledger()}) {
        Book book(file);
        std::map<std::string, std::string> fitted = book.parts;
        int sheets = 0;
        for (auto& [name, xml] : fitted) {
            if (name.rfind("xl/worksheets/sheet", 0) != 0) continue;
            ++sheets;
            pugi::xml_document doc;
            ASSERT_TRUE(doc.load_string(xml.c_str()));
            pugi::xml_node ws = doc.child("worksheet");
            // The converter lays a report out fastest without a fit to
            // work out for every page.
            EXPECT_FALSE(ws.child("sheetPr").child("pageSetUpPr").attribute("fitToPage").as_bool())
                << file.toStdString() << " " << name;
            const int scale = ws.child("pageSetup").attribute("scale").as_int(100);
            EXPECT_TRUE(scale >= 10 && scale <= 100) << name;
            // The same sheet fitted to its page, for comparison.
            ws.child("pageSetup").remove_attribute("scale");
            ws.child("pageSetup").append_attribute("fitToWidth") = "1";
            ws.child("pageSetup").append_attribute("fitToHeight") = "1";
            pugi::xml_node pr = ws.child("sheetPr") ? ws.child("sheetPr") : ws.prepend_child("sheetPr");
            if (!pr.child("pageSetUpPr")) pr.append_child("pageSetUpPr");
            pr.child("pageSetUpPr").remove_attribute("fitToPage");
            pr.child("pageSetUpPr").append_attribute("fitToPage") = "1";
            std::ostringstream out;
            doc.save(out, "", pugi::format_raw);
            xml = out.str();
        }
        EXPECT_GT(sheets, 0);
        if (!CanRenderReports()) continue;
        const QString fittedFile = dir_.path() + "/fitted.xlsx";
        ASSERT_TRUE(Zip(fittedFile, fitted));
        QTemporaryDir a, b;
        const std::vector<QImage> asIs = PageImages(ReportConverter::RenderPdf(file, a.path()));
        const std::vector<QImage> asFitted = PageImages(ReportConverter::RenderPdf(fittedFile, b.path()));
        ASSERT_EQ(asIs.size(), static_cast<size_t>(sheets)) << "one page a sheet: " << file.toStdString();
        ASSERT_EQ(asIs.size(), asFitted.size());
        for (size_t i = 0; i < asIs.size(); ++i)
            EXPECT_TRUE(asIs[i] == asFitted[i]) << file.toStdString() << " page " << i + 1
                                                << " differs from the page fitted to the paper";
    }
}

TEST_F(XlsReportTest, PagesOfOneSheetGoOnOneSheetWithPageBreaksAndLookAsOnTheirOwn) {
    // Three ledger pages with their own contents, and each page alone.
    auto fill = [](XlsReport& r, int page) {
        r.NewPage("LP410", "1");
        r.MarkerCell("**TITLE").Value("総　勘　定　元　帳");
        r.MarkerCell("**PAGE").Value(page);
        r.MarkerCell("**KAMOKU").Value(QString("%1:科目").arg(100 * page));
        for (int n = 0; n < 30; n += page) {
            r.MarkerCell("**AHK2", 0, 2 * n).Value(QString("行 %1").arg(n));
            r.MarkerCell("**KARI", 0, 2 * n).Value(1000 * page + n);
        }
        r.EndPage();
    };
    ReportCapture capture(CanRenderReports());
    XlsReport all;
    Begin(all, Ledger());
    for (int page = 1; page <= 3; ++page) fill(all, page);
    all.PrintOut();
    for (int page = 1; page <= 3; ++page) {
        XlsReport one;
        Begin(one, Ledger());
        fill(one, page);
        one.PrintOut();
    }
    ASSERT_EQ(capture.Outputs().size(), 4u);
    Book book(capture.Outputs()[0].workbookPath);
    EXPECT_EQ(book.SheetCount(), 1) << "one sheet for the three pages";
    pugi::xml_document doc;
    ASSERT_TRUE(book.Load(doc, "xl/worksheets/sheet1.xml"));
    EXPECT_EQ(doc.child("worksheet").child("rowBreaks").attribute("count").as_int(), 2);
    // The third page's cells sit below the first two.
    EXPECT_EQ(book.Texts(1).filter("300:科目").size(), 1);

    if (!CanRenderReports()) return;
    const ReportOutput& stacked = capture.Outputs()[0];
    EXPECT_EQ(stacked.pageCount, 3);
    const std::vector<QImage> pages = PageImages(stacked.pdfPath);
    ASSERT_EQ(pages.size(), 3u);
    for (int page = 1; page <= 3; ++page) {
        const std::vector<QImage> alone = PageImages(capture.Outputs()[static_cast<size_t>(page)].pdfPath);
        ASSERT_EQ(alone.size(), 1u);
        EXPECT_TRUE(pages[static_cast<size_t>(page - 1)] == alone[0]) << "page " << page << " differs";
    }
}

TEST_F(XlsReportTest, ALongReportHoldsOnePageOpenAtATimeAndKeepsEveryPagesCells) {
    XlsReport r;
    Begin(r, Ledger());
    std::optional<XlsCell> kept;   // a cell of the first page, written again at the end
    int mostHeld = 0;
    for (int page = 1; page <= 60; ++page) {
        r.NewPage("LP410", "1");
        r.MarkerCell("**PAGE").Value(page);
        r.MarkerCell("**KAMOKU").Value(QString("頁%1").arg(page));
        if (page == 1) kept = r.MarkerCell("**KAMOKU");
        r.EndPage();
        mostHeld = std::max(mostHeld, r.HeldPages());
    }
    kept->Value("後から");
    mostHeld = std::max(mostHeld, r.HeldPages());
    EXPECT_LE(mostHeld, 1);
    EXPECT_EQ(kept->Value().toString(), "後から");
    const QString path = dir_.filePath("long.xlsx");
    r.SaveWorkbook(path);
    const QStringList texts = Book(path).Texts(1);
    EXPECT_EQ(texts.filter(QRegularExpression("^頁[0-9]+$")).size(), 59);
    EXPECT_EQ(texts.filter("頁60").size(), 1);
    EXPECT_EQ(texts.filter("後から").size(), 1);
}

// ---------------------------------------------------------------- conversion in pieces

namespace {

bool Alive(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0; }

}  // namespace

TEST_F(XlsReportTest, LargeReportGoesOutInPiecesOnlyAboveTheSizeGiven) {
    ConversionSettings keep;
    EXPECT_EQ(XlsReport::ConversionParts(1), 1);
    EXPECT_EQ(XlsReport::ConversionParts(100), 1) << "a small report stays one conversion";
    EXPECT_EQ(XlsReport::ConversionParts(101), 4);
    EXPECT_EQ(XlsReport::ConversionParts(3500), 4);
    XlsReport::ParallelConversion(2, 3);
    EXPECT_EQ(XlsReport::ConversionParts(2), 1);
    EXPECT_EQ(XlsReport::ConversionParts(3), 3);
}

TEST_F(XlsReportTest, ReportConvertedInPiecesHasTheSamePagesAsInOnePiece) {
    if (!CanRenderReports()) GTEST_SKIP() << "no LibreOffice";
    ConversionSettings keep;
    auto fill = [](XlsReport& r, int page) {
        r.NewPage("LP410", "1");
        r.MarkerCell("**TITLE").Value("総　勘　定　元　帳");
        r.MarkerCell("**PAGE").Value(page);
        r.MarkerCell("**KAMOKU").Value(QString("%1:科目").arg(page));
        for (int n = 0; n < 30; n += 1 + page % 5) {
            r.MarkerCell("**AHK2", 0, 2 * n).Value(QString("頁 %1 行 %2").arg(page).arg(n));
            r.MarkerCell("**KARI", 0, 2 * n).Value(1000 * page + n);
        }
        r.EndPage();
    };
    const int pageCount = 150;
    ReportCapture capture(true);
    for (int parts : {3, 1}) {
        XlsReport::ParallelConversion(100, parts);
        XlsReport report;
        Begin(report, Ledger());
        for (int page = 1; page <= pageCount; ++page) fill(report, page);
        report.PrintOut();
    }
    ASSERT_EQ(capture.Outputs().size(), 2u);
    const ReportOutput& pieces = capture.Outputs()[0];
    const ReportOutput& whole = capture.Outputs()[1];
    EXPECT_EQ(pieces.pageCount, pageCount);
    EXPECT_EQ(whole.pageCount, pageCount);
    std::unique_ptr<Poppler::Document> a = Poppler::Document::load(pieces.pdfPath);
    std::unique_ptr<Poppler::Document> b = Poppler::Document::load(whole.pdfPath);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->numPages(), b->numPages());
    int differing = 0;
    for (int i = 0; i < a->numPages(); ++i) {
        const QImage x = a->page(i)->renderToImage(72, 72);
        const QImage y = b->page(i)->renderToImage(72, 72);
        EXPECT_FALSE(x.isNull());
        if (x != y) {
            ++differing;
            ADD_FAILURE() << "page " << i + 1 << " differs from the one-piece conversion";
        }
        // The page's own number is on it: the pages kept their order.
        if (i % 37 == 0) {
            EXPECT_TRUE(a->page(i)->text(QRectF()).contains(QString("%1:科目").arg(i + 1))) << "page " << i + 1;
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(XlsReportTest, CancelDuringALargeReportStopsEveryPieceAndOutputsNothing) {
    ConversionSettings keep;
    XlsReport::ParallelConversion(100, 4);
    QTemporaryDir runs;
    const QString fake = FakeConverter(runs.path());
    ASSERT_FALSE(fake.isEmpty());
    qputenv("TAVIK_SOFFICE", QFile::encodeName(fake));
    ReportCapture capture(true);
    ProgressDialog dialog;
    XlsReport report;
    report.ConversionProgress(&dialog);
    Begin(report, Ledger());
    for (int page = 1; page <= 150; ++page) {
        report.NewPage("LP410", "1");
        report.MarkerCell("**PAGE").Value(page);
        report.EndPage();
    }
    auto started = [&] { return QDir(runs.path()).entryList({"run.*"}, QDir::Files); };
    QStringList seen;
    QElapsedTimer waited;
    waited.start();
    // キャンセル once the four pieces convert side by side.
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        seen = started();
        if (seen.size() == 4 || waited.elapsed() > 20000) dialog.CancelRequested(true);
    });
    press.start(20);
    report.PrintOut();
    press.stop();
    EXPECT_TRUE(report.Stopped());
    EXPECT_TRUE(capture.Outputs().empty()) << "a stopped report outputs nothing";
    EXPECT_FALSE(report.Begun()) << "the report was dropped";
    ASSERT_EQ(seen.size(), 4) << "four pieces convert side by side";
    for (const QString& run : seen) EXPECT_FALSE(Alive(run.mid(4).toLongLong())) << "a converter still runs";
}
