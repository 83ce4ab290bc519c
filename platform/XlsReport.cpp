#include "platform/XlsReport.h"

#include "platform/ProgressDialog.h"
#include "platform/ReportConverter.h"
#include "platform/ReportPreview.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <map>
#include <poppler-qt6.h>
#include <pugixml.hpp>
#include <fstream>
#include <sstream>
#include <thread>
#include <exception>
#include <utility>
#include <cstring>
#include <zip.h>

namespace {

ReportOutputHandler g_handler;
bool g_renderPdf = false;

const char* const kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kPkgRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* const kRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// The Windows fonts of the templates and the fonts that stand in for them.
const std::pair<const char*, const char*> kFontSubstitutes[] = {
    {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"ＭＳ ゴシック", "IPAGothic"},
    {"MS PGothic", "IPAPGothic"},     {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},     {"ＭＳ 明朝", "IPAMincho"},
};

// ---------------------------------------------------------------- cell references

QString ColumnLetters(int column) {
    QString s;
    while (column > 0) {
        int r = (column - 1) % 26;
        s.prepend(QChar('A' + r));
        column = (column - 1) / 26;
    }
    return s;
}

QString CellRef(int column, long row) { return ColumnLetters(column) + QString::number(row); }

bool ParseRef(const char* ref, int& column, long& row) {
    column = 0;
    row = 0;
    const char* p = ref;
    while (*p == '$') ++p;
    while ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z')) {
        column = column * 26 + ((*p & ~0x20) - 'A' + 1);
        ++p;
    }
    while (*p == '$') ++p;
    while (*p >= '0' && *p <= '9') {
        row = row * 10 + (*p - '0');
        ++p;
    }
    return *p == 0 && column > 0 && row > 0;
}

// ---------------------------------------------------------------- zip packages

using Parts = std::map<std::string, std::string>;

bool ReadZip(const QString& path, Parts& parts) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!z) return false;
    bool ok = true;
    const zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < n && ok; ++i) {
        zip_stat_t st;
        if (zip_stat_index(z, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) || !(st.valid & ZIP_STAT_SIZE)) {
            ok = false;
            break;
        }
        std::string name = st.name;
        if (!name.empty() && name.back() == '/') continue;
        zip_file_t* f = zip_fopen_index(z, i, 0);
        if (!f) {
            ok = false;
            break;
        }
        std::string data(static_cast<size_t>(st.size), '\0');
        zip_int64_t got = st.size ? zip_fread(f, data.data(), st.size) : 0;
        zip_fclose(f);
        if (got != static_cast<zip_int64_t>(st.size)) ok = false;
        parts[name] = std::move(data);
    }
    zip_discard(z);
    return ok;
}

// The parts given by their data, then those given as files (named by the
// part first, the file second).
bool WriteZip(const QString& path, const std::vector<std::pair<std::string, std::string>>& parts,
              const std::vector<std::pair<std::string, QString>>& files = {}) {
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) return false;
    for (const auto& [name, data] : parts) {
        // The buffers outlive zip_close(): libzip reads them only then.
        zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
        if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            if (src) zip_source_free(src);
            zip_discard(z);
            return false;
        }
    }
    for (const auto& [name, file] : files) {
        zip_source_t* src = zip_source_file(z, QFile::encodeName(file).constData(), 0, 0);
        if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            if (src) zip_source_free(src);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

// ---------------------------------------------------------------- XML

std::string Serialize(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

bool Parse(pugi::xml_document& doc, const std::string& xml) {
    return doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                           pugi::encoding_utf8);
}

// Reads back what Serialize() wrote of a document of ours, as it was (line
// ends and whitespace in attributes left as they are).
bool Reparse(pugi::xml_document& doc, const std::string& xml) {
    return doc.load_buffer(xml.data(), xml.size(),
                           pugi::parse_cdata | pugi::parse_escapes | pugi::parse_ws_pcdata_single,
                           pugi::encoding_utf8);
}

std::string SerializeNode(pugi::xml_node node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

QString Utf8(const char* s) { return QString::fromUtf8(s); }

// The text of a string item (<si>, <is>): its <t>, or its runs' <t> joined.
QString ItemText(pugi::xml_node item) {
    QString s;
    for (pugi::xml_node child : item.children()) {
        if (strcmp(child.name(), "t") == 0)
            s += Utf8(child.text().get());
        else if (strcmp(child.name(), "r") == 0)
            s += Utf8(child.child("t").text().get());
    }
    return s;
}

// The text a cell shows when it holds a text; empty for numbers and blanks.
QString CellText(pugi::xml_node c, const std::vector<QString>& sst) {
    const char* t = c.attribute("t").value();
    if (strcmp(t, "s") == 0) {
        int i = c.child("v").text().as_int(-1);
        return i >= 0 && i < static_cast<int>(sst.size()) ? sst[static_cast<size_t>(i)] : QString();
    }
    if (strcmp(t, "inlineStr") == 0) return ItemText(c.child("is"));
    if (strcmp(t, "str") == 0) return Utf8(c.child("v").text().get());
    return QString();
}

void ClearCell(pugi::xml_node c) {
    c.remove_attribute("t");
    c.remove_attribute("cm");
    c.remove_attribute("vm");
    for (const char* name : {"f", "v", "is"})
        while (pugi::xml_node n = c.child(name)) c.remove_child(n);
}

// Text that XML 1.0 can carry (control characters other than tab and line
// breaks are dropped).
QString XmlSafe(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (QChar ch : s) {
        ushort u = ch.unicode();
        if (u >= 0x20 || u == '\t' || u == '\n' || u == '\r') out += ch;
    }
    return out;
}

struct Rel {
    std::string id, type, target;
};

std::vector<Rel> ReadRels(const Parts& parts, const std::string& name) {
    std::vector<Rel> rels;
    auto it = parts.find(name);
    if (it == parts.end()) return rels;
    pugi::xml_document doc;
    if (!Parse(doc, it->second)) return rels;
    for (pugi::xml_node r : doc.child("Relationships").children("Relationship"))
        rels.push_back({r.attribute("Id").value(), r.attribute("Type").value(), r.attribute("Target").value()});
    return rels;
}

// A relationship target as a part name, relative to the folder of the part
// that refers to it.
std::string ResolveTarget(const std::string& sourcePart, const std::string& target) {
    std::string path;
    if (!target.empty() && target[0] == '/') {
        path = target.substr(1);
    } else {
        size_t slash = sourcePart.rfind('/');
        path = (slash == std::string::npos ? std::string() : sourcePart.substr(0, slash + 1)) + target;
    }
    QStringList out;
    for (const QString& seg : QString::fromStdString(path).split('/', Qt::SkipEmptyParts)) {
        if (seg == ".") continue;
        if (seg == "..") {
            if (!out.isEmpty()) out.removeLast();
            continue;
        }
        out << seg;
    }
    return out.join('/').toStdString();
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void SubstituteFonts(pugi::xml_node node) {
    for (pugi::xml_node child : node.children()) {
        if (strcmp(child.name(), "name") == 0 || strcmp(child.name(), "rFont") == 0) {
            pugi::xml_attribute val = child.attribute("val");
            for (const auto& [from, to] : kFontSubstitutes)
                if (val && strcmp(val.value(), from) == 0) val.set_value(to);
        }
        SubstituteFonts(child);
    }
}

std::string WithSubstitutedFonts(const std::string& xml) {
    pugi::xml_document doc;
    if (!Parse(doc, xml)) return xml;
    SubstituteFonts(doc);
    return Serialize(doc);
}

// Excel's day number of a date (1900 system: day 1 is 1900-01-01, counted
// with the leap day 1900 never had; 1904 system: day 0 is 1904-01-01).
double DateSerial(const QDateTime& dt, bool date1904) {
    const QDate base = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    double days = static_cast<double>(base.daysTo(dt.date()));
    if (!date1904 && days < 61) days -= 1;   // before the phantom 29 February 1900
    return days + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

// ---------------------------------------------------------------- texts that shrink to fit

// The smallest size, in points on paper, that a text of a shrink-to-fit
// cell is made: below it a text is cut instead.
constexpr double kMinPrintedPoints = 6.0;
// What the converter keeps free inside a cell, left and right together,
// and the step of one level of indent (points).
constexpr double kCellPadding = 3.0;
constexpr double kIndentStep = 10.0;

// The font that stands in for a template font name.
QString SubstitutedFont(const QString& name) {
    for (const auto& [from, to] : kFontSubstitutes)
        if (name == QString::fromUtf8(from)) return QString::fromUtf8(to);
    return name;
}

// Widths of texts in points, as the fonts lay them out (needs a GUI
// application, the fonts come from it).
class TextMeasure {
public:
    TextMeasure() : image_(1, 1, QImage::Format_RGB32) {
        image_.setDotsPerMeterX(2835);   // 72 dots an inch: one dot a point
        image_.setDotsPerMeterY(2835);
    }
    static bool Available() {
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    }
    double Width(const QString& family, bool bold, double size, const QString& text) const {
        // Measured at a large size and scaled, so that no rounding of the
        // small size counts.
        QFont font(family);
        font.setBold(bold);
        font.setPointSizeF(100.0);
        font.setHintingPreference(QFont::PreferNoHinting);
        font.setKerning(false);
        return QFontMetricsF(font, &image_).horizontalAdvance(text) * size / 100.0;
    }

private:
    QImage image_;
};

}  // namespace

void SetReportOutputHandler(ReportOutputHandler handler, bool renderPdf) {
    g_handler = std::move(handler);
    g_renderPdf = renderPdf;
}

// ---------------------------------------------------------------- report pages

const ReportCell* ReportPage::Find(const QString& marker, int columnOffset, long rowOffset) const {
    for (auto it = cells.rbegin(); it != cells.rend(); ++it)
        if (it->marker == marker && it->columnOffset == columnOffset && it->rowOffset == rowOffset) return &*it;
    return nullptr;
}

int ReportPage::Count(const QString& marker) const {
    int n = 0;
    for (const ReportCell& c : cells)
        if (c.marker == marker) ++n;
    return n;
}

// ---------------------------------------------------------------- the report

struct XlsReport::Impl {
    struct Sheet {
        QString name;
        std::string part;
        pugi::xml_document doc;
        std::map<QString, std::pair<int, long>> markers;   // marker -> column, row
        std::map<int, double> widths;                        // column -> width (characters)
        double defaultWidth = 8.43;
        std::map<std::pair<int, long>, int> mergeEnds;       // first cell of a merge -> its last column
        double scale = 100.0;                                // print scale, percent
    };
    // A page is held as a document while it is written; once the report
    // goes on to another page it is set aside as its serialized sheet, so
    // that a long report keeps one page's document at a time.
    struct Page {
        size_t sheet = 0;
        std::unique_ptr<pugi::xml_document> doc;   // while held
        std::string xml;                           // once set aside
        long lastRow = 0;                          // its last row, once set aside
        long merges = 0;                           // its merged ranges, once set aside
        ReportPage record;
        std::map<std::pair<int, long>, QVariant> values;   // stored values by cell
    };
    struct DefinedName {
        pugi::xml_document node;   // the <definedName> element
        int localSheet = -1;
    };

    bool begun = false;
    bool date1904 = false;
    std::vector<std::unique_ptr<Sheet>> sheets;
    std::vector<QString> sst;
    std::string stylesXml, sstXml, themeXml;
    std::vector<std::unique_ptr<DefinedName>> names;
    std::vector<Page> pages;
    size_t held = 0;           // the page held as a document (pages.size(): none)
    bool pageOpen = false;
    QStringList calls;
    std::unique_ptr<ReportConverter::TempFolder> work;
    int outputs = 0;
    // The cell formats, and the formats made for texts that shrink to fit
    // (by template format and size in tenths of a point).
    pugi::xml_document styles;
    std::map<int, int> fittedBase;                 // made format -> template format
    std::map<std::pair<int, int>, int> fitted;     // (template format, size) -> made format
    double digitWidth = 0;                         // points of a column width unit

    void load(const QString& path);
    // A text for a cell that shrinks to fit on one line: too wide for the
    // cell, it gets a format of a smaller font that fits it (shrinkToFit
    // stays on for what a measure cannot foresee), down to
    // kMinPrintedPoints on paper; beyond that it is cut to what fits at that
    // size (figures are not cut: they only shrink further). Other cells,
    // and without a GUI application to measure with, the text is kept.
    QString fitText(const Page& page, pugi::xml_node c, int column, long row, const QString& text);
    int fittedFormat(int format, int tenths);
    pugi::xml_node cell(pugi::xml_document& doc, int column, long row);
    // The document of a page to write, held from now on (the page held
    // before is set aside).
    pugi::xml_document& hold(size_t index);
    void setAside();
    static long lastRow(const Page& page);
    static long mergeCount(const Page& page);
    std::string sheetXml(const Page& page) const;
    void pageDoc(const Page& page, pugi::xml_document& doc) const;
    // Every page is a copy of the same sheet: the output is that sheet once,
    // the pages one below the other with a page break between them (the
    // converter lays out one sheet much faster than a sheet per page).
    // Both work on the pages [first, last).
    bool canStack(size_t first, size_t last) const;
    // The sheet goes to the stream page by page (no page is held for it).
    bool writeStackedSheet(size_t first, size_t last, std::ostream& out) const;
};

void XlsReport::Impl::load(const QString& path) {
    auto invalid = [&](const QString& why) {
        return AppError(xlrErrTemplateInvalid, QString::fromUtf8("帳票の様式ファイルを読めません。") + "\n" + path +
                                                   (why.isEmpty() ? QString() : "\n" + why),
                        "XlsReport");
    };
    Parts parts;
    if (!ReadZip(path, parts)) throw invalid(QString());

    std::string workbookPart = "xl/workbook.xml";
    for (const Rel& r : ReadRels(parts, "_rels/.rels"))
        if (EndsWith(r.type, "/officeDocument")) workbookPart = ResolveTarget("", r.target);
    auto wb = parts.find(workbookPart);
    pugi::xml_document wbDoc;
    if (wb == parts.end() || !Parse(wbDoc, wb->second)) throw invalid(QString());
    pugi::xml_node workbook = wbDoc.child("workbook");
    const char* d1904 = workbook.child("workbookPr").attribute("date1904").value();
    date1904 = strcmp(d1904, "1") == 0 || strcmp(d1904, "true") == 0;

    const std::string folder = workbookPart.substr(0, workbookPart.rfind('/') + 1);
    const std::string relsPart = folder + "_rels/" + workbookPart.substr(folder.size()) + ".rels";
    std::map<std::string, std::string> targets;
    for (const Rel& r : ReadRels(parts, relsPart)) {
        std::string target = ResolveTarget(workbookPart, r.target);
        targets[r.id] = target;
        auto part = parts.find(target);
        if (part == parts.end()) continue;
        if (EndsWith(r.type, "/styles")) stylesXml = part->second;
        if (EndsWith(r.type, "/sharedStrings")) sstXml = part->second;
        if (EndsWith(r.type, "/theme")) themeXml = part->second;
    }

    if (!stylesXml.empty() && !Parse(styles, stylesXml)) throw invalid("styles");
    if (!sstXml.empty()) {
        pugi::xml_document doc;
        if (!Parse(doc, sstXml)) throw invalid("sharedStrings");
        for (pugi::xml_node si : doc.child("sst").children("si")) sst.push_back(ItemText(si));
    }

    for (pugi::xml_node s : workbook.child("sheets").children("sheet")) {
        auto target = targets.find(s.attribute("r:id").value());
        if (target == targets.end()) continue;
        auto part = parts.find(target->second);
        if (part == parts.end()) continue;
        auto sheet = std::make_unique<Sheet>();
        sheet->name = Utf8(s.attribute("name").value());
        sheet->part = target->second;
        if (!Parse(sheet->doc, part->second) || !sheet->doc.child("worksheet"))
            throw invalid(sheet->name);
        pugi::xml_node ws = sheet->doc.child("worksheet");
        if (!ws.child("sheetData")) throw invalid(sheet->name);
        if (pugi::xml_attribute w = ws.child("sheetFormatPr").attribute("defaultColWidth"))
            sheet->defaultWidth = w.as_double(sheet->defaultWidth);
        for (pugi::xml_node col : ws.child("cols").children("col"))
            for (int i = col.attribute("min").as_int(); i >= 1 && i <= col.attribute("max").as_int() && i <= 16384; ++i)
                sheet->widths[i] = col.attribute("width").as_double(sheet->defaultWidth);
        for (pugi::xml_node m : ws.child("mergeCells").children("mergeCell")) {
            const QStringList ends = Utf8(m.attribute("ref").value()).split(':');
            int c1 = 0, c2 = 0;
            long r1 = 0, r2 = 0;
            if (ends.size() == 2 && ParseRef(ends[0].toUtf8().constData(), c1, r1) &&
                ParseRef(ends[1].toUtf8().constData(), c2, r2))
                sheet->mergeEnds[{c1, r1}] = c2;
        }
        if (pugi::xml_attribute sc = ws.child("pageSetup").attribute("scale"))
            sheet->scale = std::clamp(sc.as_double(100.0), 10.0, 400.0);
        // Give every row and cell its reference, then index the markers
        // (the first cell of a marker text counts).
        long rowNo = 0;
        for (pugi::xml_node row : ws.child("sheetData").children("row")) {
            rowNo = row.attribute("r") ? row.attribute("r").as_llong() : rowNo + 1;
            if (!row.attribute("r")) row.append_attribute("r") = static_cast<long long>(rowNo);
            int colNo = 0;
            for (pugi::xml_node c : row.children("c")) {
                int col = 0;
                long r = 0;
                if (c.attribute("r") && ParseRef(c.attribute("r").value(), col, r)) {
                    colNo = col;
                } else {
                    ++colNo;
                    c.remove_attribute("r");
                    c.append_attribute("r") = CellRef(colNo, rowNo).toUtf8().constData();
                }
                QString text = CellText(c, sst).trimmed();
                if (text.startsWith("**") && !sheet->markers.count(text)) sheet->markers[text] = {colNo, rowNo};
            }
        }
        sheets.push_back(std::move(sheet));
    }
    if (sheets.empty()) throw invalid(QString());

    for (pugi::xml_node n : workbook.child("definedNames").children("definedName")) {
        if (!n.attribute("localSheetId")) continue;   // names of the whole book refer to template sheets
        auto name = std::make_unique<DefinedName>();
        name->node.append_copy(n);
        name->localSheet = n.attribute("localSheetId").as_int(-1);
        names.push_back(std::move(name));
    }
}

QString XlsReport::Impl::fitText(const Page& page, pugi::xml_node c, int column, long row, const QString& text) {
    if (!TextMeasure::Available()) return text;
    pugi::xml_node cellXfs = styles.child("styleSheet").child("cellXfs");
    pugi::xml_node fonts = styles.child("styleSheet").child("fonts");
    if (!cellXfs || !fonts) return text;
    int format = c.attribute("s").as_int(0);
    if (auto it = fittedBase.find(format); it != fittedBase.end()) format = it->second;
    auto nth = [](pugi::xml_node parent, const char* name, int n) {
        pugi::xml_node found;
        for (pugi::xml_node x : parent.children(name))
            if (n-- == 0) return x;
        return found;
    };
    const pugi::xml_node xf = nth(cellXfs, "xf", format);
    const pugi::xml_node align = xf.child("alignment");
    const auto on = [](pugi::xml_attribute a) {
        return strcmp(a.value(), "1") == 0 || strcmp(a.value(), "true") == 0;
    };
    if (!xf || !on(align.attribute("shrinkToFit")) || on(align.attribute("wrapText"))) {
        c.remove_attribute("s");
        if (format) c.append_attribute("s") = format;
        return text;
    }
    const pugi::xml_node font = nth(fonts, "font", xf.attribute("fontId").as_int(0));
    const QString family = SubstitutedFont(Utf8(font.child("name").attribute("val").value()));
    const bool bold = font.child("b") && strcmp(font.child("b").attribute("val").as_string("1"), "0") != 0;
    const double size = font.child("sz").attribute("val").as_double(11.0);

    const TextMeasure measure;
    if (digitWidth <= 0) {
        const pugi::xml_node base = fonts.child("font");
        digitWidth = measure.Width(SubstitutedFont(Utf8(base.child("name").attribute("val").value())),
                                   static_cast<bool>(base.child("b")),
                                   base.child("sz").attribute("val").as_double(11.0), "0");
    }
    const Sheet& sheet = *sheets[page.sheet];
    int last = column;
    if (auto it = sheet.mergeEnds.find({column, row}); it != sheet.mergeEnds.end()) last = it->second;
    double width = 0;
    for (int i = column; i <= last; ++i) {
        auto w = sheet.widths.find(i);
        width += (w == sheet.widths.end() ? sheet.defaultWidth : w->second) * digitWidth;
    }
    const double room = width - kCellPadding - align.attribute("indent").as_double(0) * kIndentStep;
    // A little to spare for what the converter lays out wider.
    auto need = [&](double atSize, const QString& t) { return measure.Width(family, bold, atSize, t) * 1.03; };
    const double full = need(size, text);
    int tenths = static_cast<int>(size * 10 + 0.5);
    QString shown = text;
    if (room > 0 && full > room) {
        const double minimum = std::min(size, kMinPrintedPoints * 100.0 / sheet.scale);
        const double fit = size * room / full;
        if (fit >= minimum) {
            tenths = static_cast<int>(fit * 10);
        } else {
            tenths = static_cast<int>(std::ceil(minimum * 10));
            const bool figure = strcmp(align.attribute("horizontal").value(), "right") == 0;
            if (!figure) {
                // The longest beginning that fits at the smallest size
                // (a character is never split in its two halves).
                const double at = tenths / 10.0;
                int lo = 0, hi = static_cast<int>(text.size());
                while (lo < hi) {
                    const int mid = (lo + hi + 1) / 2;
                    if (need(at, text.left(mid)) <= room)
                        lo = mid;
                    else
                        hi = mid - 1;
                }
                if (lo > 0 && lo < text.size() && text.at(lo - 1).isHighSurrogate()) --lo;
                shown = text.left(lo);
            }
        }
    }
    const int made = tenths == static_cast<int>(size * 10 + 0.5) ? format : fittedFormat(format, tenths);
    c.remove_attribute("s");
    if (made) c.append_attribute("s") = made;
    return shown.isEmpty() ? text.left(1) : shown;
}

int XlsReport::Impl::fittedFormat(int format, int tenths) {
    auto known = fitted.find({format, tenths});
    if (known != fitted.end()) return known->second;
    pugi::xml_node sheet = styles.child("styleSheet");
    pugi::xml_node fonts = sheet.child("fonts");
    pugi::xml_node cellXfs = sheet.child("cellXfs");
    auto count = [](pugi::xml_node parent, const char* name) {
        int n = 0;
        for (pugi::xml_node x = parent.child(name); x; x = x.next_sibling(name)) ++n;
        return n;
    };
    pugi::xml_node xf;
    int i = 0;
    for (pugi::xml_node x : cellXfs.children("xf"))
        if (i++ == format) xf = x;
    int fontIndex = xf.attribute("fontId").as_int(0);
    pugi::xml_node font;
    i = 0;
    for (pugi::xml_node f : fonts.children("font"))
        if (i++ == fontIndex) font = f;
    pugi::xml_node newFont = fonts.append_copy(font);
    if (!newFont.child("sz")) newFont.prepend_child("sz").append_attribute("val");
    if (!newFont.child("sz").attribute("val")) newFont.child("sz").append_attribute("val");
    newFont.child("sz").attribute("val") = QString::number(tenths / 10.0, 'f', 1).toUtf8().constData();
    const int newFontIndex = count(fonts, "font") - 1;
    fonts.attribute("count").set_value(newFontIndex + 1);
    pugi::xml_node newXf = cellXfs.append_copy(xf);
    if (!newXf.attribute("fontId")) newXf.append_attribute("fontId");
    newXf.attribute("fontId") = newFontIndex;
    if (!newXf.attribute("applyFont")) newXf.append_attribute("applyFont") = "1";
    const int made = count(cellXfs, "xf") - 1;
    cellXfs.attribute("count").set_value(made + 1);
    fitted[{format, tenths}] = made;
    fittedBase[made] = format;
    stylesXml = Serialize(styles);
    return made;
}

pugi::xml_node XlsReport::Impl::cell(pugi::xml_document& doc, int column, long row) {
    pugi::xml_node data = doc.child("worksheet").child("sheetData");
    pugi::xml_node rowNode;
    for (pugi::xml_node r : data.children("row")) {
        long n = r.attribute("r").as_llong();
        if (n == row) {
            rowNode = r;
            break;
        }
        if (n > row) {
            rowNode = data.insert_child_before("row", r);
            break;
        }
    }
    if (!rowNode) rowNode = data.append_child("row");
    if (!rowNode.attribute("r")) rowNode.append_attribute("r") = static_cast<long long>(row);
    rowNode.remove_attribute("spans");

    const std::string ref = CellRef(column, row).toStdString();
    for (pugi::xml_node c : rowNode.children("c")) {
        int col = 0;
        long r = 0;
        ParseRef(c.attribute("r").value(), col, r);
        if (col == column) return c;
        if (col > column) {
            pugi::xml_node added = rowNode.insert_child_before("c", c);
            added.append_attribute("r") = ref.c_str();
            if (rowNode.attribute("s")) added.append_attribute("s") = rowNode.attribute("s").value();
            return added;
        }
    }
    pugi::xml_node added = rowNode.append_child("c");
    added.append_attribute("r") = ref.c_str();
    if (rowNode.attribute("s")) added.append_attribute("s") = rowNode.attribute("s").value();
    return added;
}

pugi::xml_document& XlsReport::Impl::hold(size_t index) {
    if (held != index) {
        setAside();
        Page& page = pages[index];
        page.doc = std::make_unique<pugi::xml_document>();
        if (!Reparse(*page.doc, page.xml))
            throw AppError(xlrErrRender, QString::fromUtf8("帳票のページを読み戻せません。"), "XlsReport");
        std::string().swap(page.xml);
        held = index;
    }
    return *pages[index].doc;
}

void XlsReport::Impl::setAside() {
    if (held >= pages.size()) return;
    Page& page = pages[held];
    page.lastRow = lastRow(page);
    page.merges = mergeCount(page);
    page.record.cells.shrink_to_fit();
    page.xml = Serialize(*page.doc);
    page.doc.reset();
    held = pages.size();
}

long XlsReport::Impl::mergeCount(const Page& page) {
    if (!page.doc) return page.merges;
    long n = 0;
    for (pugi::xml_node m = page.doc->child("worksheet").child("mergeCells").child("mergeCell"); m;
         m = m.next_sibling("mergeCell"))
        ++n;
    return n;
}

long XlsReport::Impl::lastRow(const Page& page) {
    if (!page.doc) return page.lastRow;
    long last = 0;
    for (pugi::xml_node row : page.doc->child("worksheet").child("sheetData").children("row"))
        last = std::max(last, static_cast<long>(row.attribute("r").as_llong()));
    return last;
}

std::string XlsReport::Impl::sheetXml(const Page& page) const {
    pugi::xml_document doc;
    pageDoc(page, doc);
    return Serialize(doc);
}

void XlsReport::Impl::pageDoc(const Page& page, pugi::xml_document& doc) const {
    if (page.doc)
        doc.reset(*page.doc);
    else if (!Reparse(doc, page.xml))
        throw AppError(xlrErrRender, QString::fromUtf8("帳票のページを読み戻せません。"), "XlsReport");
    pugi::xml_node ws = doc.child("worksheet");
    // Marker cells the report never wrote come out empty.
    for (pugi::xml_node row : ws.child("sheetData").children("row")) {
        for (pugi::xml_node c : row.children("c")) {
            if (!CellText(c, sst).trimmed().startsWith("**")) continue;
            int col = 0;
            long r = 0;
            ParseRef(c.attribute("r").value(), col, r);
            if (!page.values.count({col, r})) ClearCell(c);
        }
    }
    // Parts the output does not carry along.
    for (const char* name : {"drawing", "legacyDrawing", "legacyDrawingHF", "picture", "oleObjects", "controls",
                             "tableParts", "hyperlinks", "extLst"})
        while (pugi::xml_node n = ws.child(name)) ws.remove_child(n);
    for (pugi::xml_node view : ws.child("sheetViews").children("sheetView")) view.remove_attribute("tabSelected");
}

bool XlsReport::Impl::canStack(size_t first, size_t last) const {
    if (last < first + 2) return false;
    const size_t sheet = pages[first].sheet;
    for (size_t i = first; i < last; ++i)
        if (pages[i].sheet != sheet) return false;
    for (const auto& name : names)
        if (name->localSheet == static_cast<int>(sheet)) return false;
    pugi::xml_node ws = sheets[sheet]->doc.child("worksheet");
    // Parts whose cell ranges would have to move along with the pages.
    for (const char* name : {"conditionalFormatting", "dataValidations", "rowBreaks", "autoFilter", "sheetCalcPr",
                             "protectedRanges", "scenarios", "sortState", "dataConsolidate", "customSheetViews"})
        if (ws.child(name)) return false;
    for (pugi::xml_node row : ws.child("sheetData").children("row"))
        for (pugi::xml_node c : row.children("c"))
            if (c.child("f")) return false;
    return true;
}

bool XlsReport::Impl::writeStackedSheet(size_t first, size_t last, std::ostream& out) const {
    // The height of a page in rows: the last row any page uses.
    long height = 0;
    long mergeTotal = 0;
    for (size_t i = first; i < last; ++i) {
        height = std::max(height, lastRow(pages[i]));
        mergeTotal += mergeCount(pages[i]);
    }
    const QRegularExpression cellRef("([A-Za-z]+)\\$?([0-9]+)");
    auto moved = [&](const char* ref, long by) {
        int column = 0;
        long row = 0;
        if (ParseRef(ref, column, row)) return CellRef(column, row + by).toStdString();
        const QString text = Utf8(ref);
        QString out = text;
        QRegularExpressionMatchIterator it = cellRef.globalMatch(text);
        int shift = 0;
        while (it.hasNext()) {
            QRegularExpressionMatch m = it.next();
            const QString r = QString::number(m.captured(2).toLong() + by);
            out.replace(m.capturedStart(2) + shift, m.capturedLength(2), r);
            shift += r.size() - m.capturedLength(2);
        }
        return out.toStdString();
    };

    // The sheet of the first page without its rows and merged ranges, with
    // places kept for those of every page.
    const std::string rowsHere = "<!--rows-->";
    const std::string mergesHere = "<!--merges-->";
    std::string sheet;
    {
        pugi::xml_document doc;
        pageDoc(pages[first], doc);
        pugi::xml_node ws = doc.child("worksheet");
        ws.remove_child("dimension");
        pugi::xml_node data = ws.child("sheetData");
        while (data.first_child()) data.remove_child(data.first_child());
        bool anyRow = false;
        for (size_t i = first; i < last && !anyRow; ++i) anyRow = lastRow(pages[i]) > 0;
        if (anyRow) data.append_child(pugi::node_comment).set_value("rows");
        pugi::xml_node merges = ws.child("mergeCells");
        if (merges) {
            while (merges.first_child()) merges.remove_child(merges.first_child());
            if (mergeTotal > 0) merges.append_child(pugi::node_comment).set_value("merges");
            merges.remove_attribute("count");
            merges.append_attribute("count") = static_cast<long long>(mergeTotal);
        }
        // A manual page break after every page but the last. The breaks go
        // after the page settings (and their header and footer).
        pugi::xml_node after = ws.child("headerFooter");
        if (!after) after = ws.child("pageSetup");
        if (!after) after = ws.child("pageMargins");
        if (!after) after = ws.child("printOptions");
        if (!after) after = merges ? merges : data;
        pugi::xml_node breaks = ws.insert_child_after("rowBreaks", after);
        const long long count = static_cast<long long>(last - first) - 1;
        breaks.append_attribute("count") = count;
        breaks.append_attribute("manualBreakCount") = count;
        for (long long i = 1; i <= count; ++i) {
            pugi::xml_node b = breaks.append_child("brk");
            b.append_attribute("id") = i * height;
            b.append_attribute("max") = "16383";
            b.append_attribute("man") = "1";
        }
        sheet = Serialize(doc);
    }
    const size_t rowsAt = sheet.find(rowsHere);
    const size_t mergesAt = sheet.find(mergesHere, rowsAt == std::string::npos ? 0 : rowsAt);

    // The rows of the pages, one page at a time, moved down to their place;
    // their merged ranges are gathered meanwhile (the sheet lists them after
    // the rows).
    std::string merged;
    pugi::xml_document page, mergeCell;
    mergeCell.append_child("mergeCell").append_attribute("ref");
    size_t at = 0;
    auto upTo = [&](size_t where, const std::string& mark) {
        out.write(sheet.data() + at, static_cast<std::streamsize>(where - at));
        at = where + mark.size();
    };
    if (rowsAt != std::string::npos) upTo(rowsAt, rowsHere);
    for (size_t i = 0; i < last - first; ++i) {
        const long by = static_cast<long>(i) * height;
        pageDoc(pages[first + i], page);
        pugi::xml_node pws = page.child("worksheet");
        for (pugi::xml_node row : pws.child("sheetData").children("row")) {
            row.attribute("r").set_value(static_cast<long long>(row.attribute("r").as_llong() + by));
            for (pugi::xml_node c : row.children("c"))
                c.attribute("r").set_value(moved(c.attribute("r").value(), by).c_str());
            if (rowsAt != std::string::npos) row.print(out, "", pugi::format_raw, pugi::encoding_utf8);
        }
        for (pugi::xml_node m : pws.child("mergeCells").children("mergeCell")) {
            mergeCell.first_child().attribute("ref").set_value(moved(m.attribute("ref").value(), by).c_str());
            merged += SerializeNode(mergeCell.first_child());
        }
    }
    page.reset();
    if (mergesAt != std::string::npos) {
        upTo(mergesAt, mergesHere);
        out << merged;
    }
    out.write(sheet.data() + at, static_cast<std::streamsize>(sheet.size() - at));
    return static_cast<bool>(out);
}

XlsReport::XlsReport() : d_(std::make_unique<Impl>()) {}
XlsReport::~XlsReport() = default;

bool XlsReport::Begun() const { return d_->begun; }
int XlsReport::PageCount() const { return static_cast<int>(d_->pages.size()); }
bool XlsReport::PageOpen() const { return d_->pageOpen; }
int XlsReport::HeldPages() const {
    return static_cast<int>(std::count_if(d_->pages.begin(), d_->pages.end(),
                                          [](const Impl::Page& p) { return p.doc != nullptr; }));
}

void XlsReport::BeginReport() {
    d_ = std::make_unique<Impl>();
    if (templateFile_.isEmpty() || !QFileInfo(templateFile_).isFile())
        throw AppError(xlrErrTemplateMissing,
                       QString::fromUtf8("帳票の様式ファイルがありません。") + "\n" + templateFile_, "XlsReport");
    d_->load(templateFile_);
    d_->begun = true;
    d_->calls << "BeginReport";
}

void XlsReport::NewPage(const QString& sheet, const QVariant&) {
    if (!d_->begun)
        throw AppError(xlrErrNotBegun, QString::fromUtf8("帳票が開始されていません。"), "XlsReport");
    size_t index = d_->sheets.size();
    for (size_t i = 0; i < d_->sheets.size(); ++i)
        if (d_->sheets[i]->name.compare(sheet, Qt::CaseInsensitive) == 0) index = i;
    if (index == d_->sheets.size())
        throw AppError(xlrErrSheetMissing,
                       QString::fromUtf8("帳票の様式にシート「%1」がありません。").arg(sheet) + "\n" + templateFile_,
                       "XlsReport");
    d_->setAside();
    Impl::Page page;
    page.sheet = index;
    page.doc = std::make_unique<pugi::xml_document>();
    page.doc->reset(d_->sheets[index]->doc);
    page.record.sheet = d_->sheets[index]->name;
    d_->pages.push_back(std::move(page));
    d_->held = d_->pages.size() - 1;
    d_->pageOpen = true;
    d_->calls << "NewPage " + d_->sheets[index]->name;
}

void XlsReport::EndPage() {
    d_->calls << "EndPage";
    if (d_->pageOpen && !d_->pages.empty()) d_->pages.back().record.ended = true;
    d_->pageOpen = false;
}

XlsCell XlsReport::MarkerCell(const QString& marker, int columnOffset, long rowOffset) {
    if (!d_->begun)
        throw AppError(xlrErrNotBegun, QString::fromUtf8("帳票が開始されていません。"), "XlsReport");
    if (d_->pages.empty())
        throw AppError(xlrErrNoPage, QString::fromUtf8("帳票のページが開始されていません。"), "XlsReport");
    const int page = static_cast<int>(d_->pages.size()) - 1;
    const Impl::Sheet& sheet = *d_->sheets[d_->pages.back().sheet];
    auto it = sheet.markers.find(marker);
    if (it == sheet.markers.end())
        throw AppError(xlrErrMarkerMissing,
                       QString::fromUtf8("帳票の様式（シート「%1」）にマーカー「%2」がありません。")
                           .arg(sheet.name, marker),
                       "XlsReport");
    const long column = it->second.first + static_cast<long>(columnOffset);
    const long row = it->second.second + rowOffset;
    if (column < 1 || column > 16384 || row < 1 || row > 1048576)
        throw AppError(xlrErrMarkerMissing,
                       QString::fromUtf8("マーカー「%1」から移動したセルがシートの外です。").arg(marker), "XlsReport");
    return XlsCell(this, page, static_cast<int>(column), row, marker, columnOffset, rowOffset);
}

void XlsReport::write(int page, int column, long row, const QString& marker, int columnOffset, long rowOffset,
                      const QVariant& value) {
    if (page < 0 || page >= static_cast<int>(d_->pages.size()))
        throw AppError(xlrErrNoPage, QString::fromUtf8("帳票のページが開始されていません。"), "XlsReport");
    Impl::Page& p = d_->pages[static_cast<size_t>(page)];
    pugi::xml_node c = d_->cell(d_->hold(static_cast<size_t>(page)), column, row);
    ClearCell(c);

    QVariant stored;
    const int type = value.metaType().id();
    switch (type) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr: break;
    case QMetaType::Bool:
        c.append_attribute("t") = "b";
        c.append_child("v").text() = value.toBool() ? "1" : "0";
        stored = value.toBool();
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        c.append_child("v").text() = QString::number(value.toLongLong()).toUtf8().constData();
        stored = value.toLongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = value.toDouble();
        c.append_child("v").text() =
            QString::number(v, 'g', QLocale::FloatingPointShortest).toUtf8().constData();
        stored = v;
        break;
    }
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        QDateTime dt = type == QMetaType::QDate ? value.toDate().startOfDay() : value.toDateTime();
        if (!dt.isValid()) break;
        const double v = DateSerial(dt, d_->date1904);
        c.append_child("v").text() = QString::number(v, 'g', QLocale::FloatingPointShortest).toUtf8().constData();
        stored = v;
        break;
    }
    default: {
        if (value.isNull() && type != QMetaType::QString) break;
        QString text = XmlSafe(value.toString());
        if (text.startsWith('\'')) text.remove(0, 1);
        if (text.isEmpty()) break;
        text = d_->fitText(p, c, column, row, text);
        c.append_attribute("t") = "inlineStr";
        pugi::xml_node t = c.append_child("is").append_child("t");
        if (text.front().isSpace() || text.back().isSpace()) t.append_attribute("xml:space") = "preserve";
        t.text() = text.toUtf8().constData();
        stored = text;
        break;
    }
    }
    p.values[{column, row}] = stored;
    p.record.cells.push_back({marker, columnOffset, rowOffset, CellRef(column, row), value, stored});
}

QVariant XlsReport::written(int page, int column, long row) const {
    if (page < 0 || page >= static_cast<int>(d_->pages.size())) return QVariant();
    const auto& values = d_->pages[static_cast<size_t>(page)].values;
    auto it = values.find({column, row});
    return it == values.end() ? QVariant() : it->second;
}

void XlsReport::SaveWorkbook(const QString& path) { saveWorkbook(path, 0, d_->pages.size()); }

void XlsReport::saveWorkbook(const QString& path, size_t first, size_t last) {
    if (!d_->begun)
        throw AppError(xlrErrNotBegun, QString::fromUtf8("帳票が開始されていません。"), "XlsReport");
    std::vector<std::pair<std::string, std::string>> parts;
    const bool stacked = d_->canStack(first, last);
    const size_t n = stacked ? 1 : last - first;

    std::string types = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/"
                        "vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                        "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
                        "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
    if (!d_->sstXml.empty())
        types += "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    if (!d_->themeXml.empty())
        types += "<Override PartName=\"/xl/theme/theme1.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.theme+xml\"/>";
    for (size_t i = 1; i <= n; ++i)
        types += "<Override PartName=\"/xl/worksheets/sheet" + std::to_string(i) +
                 ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    types += "</Types>";
    parts.emplace_back("[Content_Types].xml", types);
    parts.emplace_back("_rels/.rels",
                       std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                   "<Relationships xmlns=\"") +
                           kPkgRelNs + "\"><Relationship Id=\"rId1\" Type=\"" + kRelType +
                           "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");

    // The book: one sheet per page, named by its page number, with the
    // print settings (print area, titles) of its template sheet; or, when
    // every page is a copy of one sheet, that one sheet holding the pages.
    pugi::xml_document wb;
    pugi::xml_node decl = wb.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node book = wb.append_child("workbook");
    book.append_attribute("xmlns") = kMainNs;
    book.append_attribute("xmlns:r") = kRelNs;
    if (d_->date1904) book.append_child("workbookPr").append_attribute("date1904") = "1";
    book.append_child("bookViews").append_child("workbookView").append_attribute("activeTab") = "0";
    pugi::xml_node sheets = book.append_child("sheets");
    pugi::xml_node names;
    for (size_t i = 0; i < n; ++i) {
        const std::string id = std::to_string(i + 1);
        pugi::xml_node s = sheets.append_child("sheet");
        s.append_attribute("name") = id.c_str();
        s.append_attribute("sheetId") = id.c_str();
        s.append_attribute("r:id") = ("rId" + id).c_str();
        const Impl::Sheet& tpl = *d_->sheets[d_->pages[first + i].sheet];
        for (const auto& name : d_->names) {
            if (name->localSheet != static_cast<int>(d_->pages[first + i].sheet)) continue;
            if (!names) names = book.append_child("definedNames");
            pugi::xml_node copy = names.append_copy(name->node.first_child());
            copy.attribute("localSheetId").set_value(static_cast<long long>(i));
            QString text = Utf8(copy.text().get());
            QString quoted = tpl.name;
            quoted.replace("'", "''");
            text.replace("'" + quoted + "'!", "'" + QString::fromStdString(id) + "'!");
            text.replace(QRegularExpression("(^|[,(])" + QRegularExpression::escape(tpl.name) + "!"),
                         "\\1'" + QString::fromStdString(id) + "'!");
            copy.text() = text.toUtf8().constData();
        }
    }
    parts.emplace_back("xl/workbook.xml", Serialize(wb));

    std::string rels = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                   "<Relationships xmlns=\"") +
                       kPkgRelNs + "\">";
    for (size_t i = 1; i <= n; ++i)
        rels += "<Relationship Id=\"rId" + std::to_string(i) + "\" Type=\"" + kRelType +
                "worksheet\" Target=\"worksheets/sheet" + std::to_string(i) + ".xml\"/>";
    rels += "<Relationship Id=\"rIdStyles\" Type=\"" + std::string(kRelType) + "styles\" Target=\"styles.xml\"/>";
    if (!d_->sstXml.empty())
        rels += "<Relationship Id=\"rIdStrings\" Type=\"" + std::string(kRelType) +
                "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    if (!d_->themeXml.empty())
        rels += "<Relationship Id=\"rIdTheme\" Type=\"" + std::string(kRelType) +
                "theme\" Target=\"theme/theme1.xml\"/>";
    rels += "</Relationships>";
    parts.emplace_back("xl/_rels/workbook.xml.rels", rels);

    std::string styles = d_->stylesXml.empty()
                             ? std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                           "<styleSheet xmlns=\"") +
                                   kMainNs + "\"/>"
                             : WithSubstitutedFonts(d_->stylesXml);
    parts.emplace_back("xl/styles.xml", styles);
    if (!d_->sstXml.empty()) parts.emplace_back("xl/sharedStrings.xml", WithSubstitutedFonts(d_->sstXml));
    if (!d_->themeXml.empty()) parts.emplace_back("xl/theme/theme1.xml", d_->themeXml);
    auto cannotWrite = [&] {
        return AppError(xlrErrRender, QString::fromUtf8("帳票のファイルを書き込めません。") + "\n" + path,
                        "XlsReport");
    };
    // The sheet of stacked pages, the bulk of a long report, is written to
    // a file beside the workbook a page at a time and packed from there.
    std::vector<std::pair<std::string, QString>> files;
    std::unique_ptr<QTemporaryFile> sheetFile;
    if (stacked) {
        sheetFile = std::make_unique<QTemporaryFile>(QFileInfo(path).absolutePath() + "/sheet-XXXXXX.xml");
        if (!sheetFile->open()) throw cannotWrite();
        sheetFile->close();
        std::ofstream out(QFile::encodeName(sheetFile->fileName()).constData(), std::ios::binary | std::ios::trunc);
        if (!d_->writeStackedSheet(first, last, out)) throw cannotWrite();
        out.close();
        if (!out) throw cannotWrite();
        files.emplace_back("xl/worksheets/sheet1.xml", sheetFile->fileName());
    } else {
        for (size_t i = 0; i < n; ++i)
            parts.emplace_back("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml",
                               d_->sheetXml(d_->pages[first + i]));
    }

    if (!WriteZip(path, parts, files)) throw cannotWrite();
}

namespace {

int g_largeReport = 100;   // pages up to which a report converts in one piece
int g_conversionParts = 4;  // pieces of a larger report, converted side by side

}  // namespace

void XlsReport::ParallelConversion(int largeReport, int parts) {
    g_largeReport = std::max(1, largeReport);
    g_conversionParts = std::max(1, parts);
}

int XlsReport::ConversionParts(int pages) {
    if (pages <= g_largeReport) return 1;
    return std::min(g_conversionParts, pages);
}

int XlsReport::PdfPageCount(const QString& pdfPath) {
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pdfPath);
    return doc && !doc->isLocked() ? doc->numPages() : 0;
}

void XlsReport::ConversionProgress(ProgressDialog* dialog, std::function<bool()> confirmStop) {
    progress_ = dialog;
    confirmStop_ = std::move(confirmStop);
}

bool XlsReport::output(ReportOutput::Kind kind, bool renderPdf, ReportOutput& out) {
    out = ReportOutput();
    out.kind = kind;
    if (g_handler)
        for (const Impl::Page& p : d_->pages) out.pages.push_back(p.record);
    out.calls = d_->calls;
    out.previewWindow = previewWindow_;
    out.outputName = OutputName();
    if (!d_->work) {
        d_->work = ReportConverter::NewWorkFolder();
        if (!d_->work->isValid())
            throw AppError(xlrErrRender, QString::fromUtf8("帳票の作業フォルダを作成できません。"), "XlsReport");
    }
    out.workbookPath = d_->work->path() + "/report" + QString::number(++d_->outputs) + ".xlsx";
    const size_t count = d_->pages.size();
    out.pageCount = static_cast<int>(count);
    // A large report converts in pieces (see below); the workbook of the
    // whole report is then written beside the conversion, on a thread of
    // its own that only reads the pages.
    const size_t parts =
        renderPdf && count > 0 ? static_cast<size_t>(ConversionParts(static_cast<int>(count))) : 1;
    if (parts <= 1) {
        SaveWorkbook(out.workbookPath);
        if (!renderPdf || count == 0) return true;
    }
#ifdef __GLIBC__
    // Each writer thread would otherwise get a heap of its own, which the
    // allocator keeps after the report; two heaps in all can be handed back.
    static const bool oneHeapForWriters = [] { return mallopt(M_ARENA_MAX, 2) == 1; }();
    (void)oneHeapForWriters;
#endif
    struct Writer {
        std::thread thread;
        std::exception_ptr error;
        ~Writer() { wait(); }
        void wait() {
            if (thread.joinable()) thread.join();
        }
        void check() {
            wait();
            if (error) std::rethrow_exception(std::exchange(error, nullptr));
        }
    };
    Writer whole;
    if (parts > 1)
        whole.thread = std::thread([this, &whole, path = out.workbookPath, count] {
            try {
                saveWorkbook(path, 0, count);
            } catch (...) {
                whole.error = std::current_exception();
            }
        });

    // The conversion, a step of its own in the progress dialog.
    ProgressDialog* dialog = progress_;
    const bool shown = dialog && dialog->Visible();
    if (dialog) {
        if (!shown) {
            dialog->CancelRequested(false);
            dialog->Show();
        }
        dialog->Busy(true);
    }
    auto endStep = [&] {
        if (!dialog) return;
        dialog->Busy(false);
        if (!shown) dialog->Hide();
    };
    std::function<bool()> stop;
    if (dialog)
        stop = [this, dialog] {
            if (!dialog->CancelRequested()) return false;
            if (!confirmStop_ || confirmStop_()) return true;
            dialog->CancelRequested(false);
            return false;
        };
    try {
        if (parts <= 1) {
            out.pdfPath = ReportConverter::RenderPdf(out.workbookPath, d_->work->path(), stop);
        } else {
            // Each piece is a workbook of its own run of pages (written side
            // by side), converted side by side with the others; their PDFs
            // are joined in order. Every page is laid out as in one piece.
            const QString base = d_->work->path() + "/report" + QString::number(d_->outputs);
            QStringList pieces;
            std::vector<Writer> writers(parts);
            for (size_t i = 0; i < parts; ++i) {
                const QString piece = base + "-" + QString::number(i + 1) + ".xlsx";
                pieces << piece;
                Writer& w = writers[i];
                w.thread = std::thread([this, &w, piece, first = count * i / parts, last = count * (i + 1) / parts] {
                    try {
                        saveWorkbook(piece, first, last);
                    } catch (...) {
                        w.error = std::current_exception();
                    }
                });
            }
            for (Writer& w : writers) w.check();
            const QStringList pdfs = ReportConverter::RenderPdfs(pieces, d_->work->path(), stop);
            for (const QString& piece : pieces) QFile::remove(piece);
            if (!pdfs.isEmpty()) {
                const QString joined = base + ".pdf";
                if (ReportConverter::JoinPdfs(pdfs, joined, stop)) out.pdfPath = joined;
                for (const QString& pdf : pdfs) QFile::remove(pdf);
            }
            whole.check();
        }
    } catch (...) {
        whole.wait();
        endStep();
        d_->work.reset();   // the work folder goes with the failed output
        throw;
    }
    endStep();
    if (out.pdfPath.isEmpty()) return false;
    out.pageCount = PdfPageCount(out.pdfPath);
    return true;
}

void XlsReport::PrintOut() {
    if (!d_->begun)
        throw AppError(xlrErrNotBegun, QString::fromUtf8("帳票が開始されていません。"), "XlsReport");
    stopped_ = false;
    d_->calls << "PrintOut";
    ReportOutput out;
    if (g_handler) {
        if (!output(ReportOutput::Print, g_renderPdf, out)) {
            stopped_ = true;
            Abort();
            return;
        }
        g_handler(out);
        return;
    }
    if (d_->pages.empty()) return;
    const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter();
    // Without a printer to print straight to, a dialog follows the
    // conversion; until then a progress dialog says that the PDF is being
    // made, unless the caller's shows the conversion.
    std::unique_ptr<ProgressDialog> making;
    if (printerInfo.isNull() && !progress_ && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        making = std::make_unique<ProgressDialog>();
        making->Title(OutputName());
        making->Message(QString::fromUtf8("PDFファイルを作成中"));
        progress_ = making.get();
    }
    bool made = false;
    try {
        made = output(ReportOutput::Print, true, out);
    } catch (...) {
        if (making) progress_ = nullptr;
        throw;
    }
    if (making) progress_ = nullptr;
    if (!made) {
        stopped_ = true;
        Abort();
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(OutputName());
    if (printerInfo.isNull()) {
        // No default printer to print straight to: let the user choose one,
        // or a PDF file when there is no printer at all.
        if (!ChooseReportOutput(printer, OutputName(), 0, QApplication::activeWindow())) return;
    } else {
        printer.setPrinterName(printerInfo.printerName());
    }
    if (!PrintPdfPages(out.pdfPath, printer))
        throw AppError(xlrErrRender, QString::fromUtf8("帳票を印刷できませんでした。"), "XlsReport");
}

void XlsReport::Preview(int width, int height) {
    if (!d_->begun)
        throw AppError(xlrErrNotBegun, QString::fromUtf8("帳票が開始されていません。"), "XlsReport");
    stopped_ = false;
    d_->calls << "Preview";
    ReportOutput out;
    if (g_handler) {
        if (!output(ReportOutput::Preview, g_renderPdf, out)) {
            stopped_ = true;
            Abort();
            return;
        }
        out.previewWidth = width;
        out.previewHeight = height;
        g_handler(out);
        return;
    }
    if (d_->pages.empty()) return;
    if (!output(ReportOutput::Preview, true, out)) {
        stopped_ = true;
        Abort();
        return;
    }
    ReportPreview preview(out.pdfPath, QApplication::activeWindow());
    if (!previewWindow_.Caption.isEmpty()) preview.setWindowTitle(previewWindow_.Caption);
    preview.SetDocumentName(OutputName());
    if (width > 0 && height > 0) preview.resize(width, height);
    preview.SetDisplayMode(previewWindow_.DisplayMode);
    preview.exec();
}

void XlsReport::Abort() {
    d_ = std::make_unique<Impl>();
#ifdef __GLIBC__
    // The pages of a long report leave the heap in many small pieces that
    // the allocator keeps unless told: hand them back to the system.
    malloc_trim(0);
#endif
}

QString XlsReport::OutputName() const {
    if (!outputName_.isEmpty()) return outputName_;
    if (!previewWindow_.Caption.isEmpty()) return previewWindow_.Caption;
    return QFileInfo(templateFile_).completeBaseName();
}

// ---------------------------------------------------------------- cells

void XlsCell::Value(const QVariant& value) {
    report_->write(page_, column_, row_, marker_, columnOffset_, rowOffset_, value);
}

QVariant XlsCell::Value() const { return report_->written(page_, column_, row_); }

QString XlsCell::Address() const { return CellRef(column_, row_); }
