#include "platform/CodeSearch.h"

#include "platform/DBAccess.h"
#include "platform/Panel3D.h"
#include "platform/VbCompat.h"

#include <algorithm>

#include <QApplication>
#include <QTextDocument>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

CodeSearchHandler g_handler;

struct Column {
    const char* field;
    bool number;
};

long num(const QVariant& v) {
    if (!v.isValid()) return 0;
    if (v.typeId() != QMetaType::QString) {
        bool ok = false;
        qlonglong n = v.toLongLong(&ok);
        if (ok) return static_cast<long>(n);
    }
    return ValLng(v.toString());
}
QString dec(const QVariant& v) { return QString::number(num(v)); }
QString text(const QVariant& v) { return v.isValid() ? v.toString().trimmed() : QString(); }

// Text as compared by the filter: full and half width alike, case folded.
QString folded(const QString& s) { return s.normalized(QString::NormalizationForm_KC).toCaseFolded(); }

class CodeSearchDialog : public QDialog {
public:
    CodeSearchDialog(const CodeSearchRequest& req, QWidget* parent) : QDialog(parent), req_(req) {
        setWindowTitle(req.title);
        setModal(true);
        auto* lay = new QVBoxLayout(this);
        if (!req.heading.isEmpty()) {
            auto* head = new Panel3D(req.heading, this);
            head->setObjectName("lblHeading");
            head->Alignment(Qt::AlignLeft | Qt::AlignVCenter);
            head->setMinimumHeight(24);
            lay->addWidget(head);
        }
        auto* row = new QHBoxLayout;
        auto* cap = new Panel3D(QString::fromUtf8("検索"), this);
        cap->setFixedWidth(64);
        row->addWidget(cap);
        filter_ = new QLineEdit(this);
        filter_->setObjectName("txtFilter");
        filter_->setPlaceholderText(QString::fromUtf8("コードまたは名称の一部"));
        row->addWidget(filter_, 1);
        lay->addLayout(row);

        list_ = new QTreeWidget(this);
        list_->setObjectName("lstResult");
        list_->setRootIsDecorated(false);
        list_->setUniformRowHeights(true);
        list_->setAlternatingRowColors(true);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setAllColumnsShowFocus(true);
        list_->setHeaderLabels(req.columns);
        list_->header()->setStretchLastSection(true);
        list_->setFont(QFont(QString::fromUtf8("ＭＳ ゴシック"), QApplication::font().pointSize()));
        for (int r = 0; r < static_cast<int>(req.rows.size()); ++r) {
            QStringList cells;
            for (int i : req.shownItems) cells << (i < req.rows[r].size() ? req.rows[r][i].toString() : QString());
            auto* item = new QTreeWidgetItem(cells);
            item->setData(0, Qt::UserRole, r);
            item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
            // A text cut at the column's edge is shown whole (wrapped) in its tooltip.
            for (int c = 1; c < cells.size(); ++c)
                if (!cells[c].isEmpty()) item->setToolTip(c, Qt::convertFromPlainText(cells[c], Qt::WhiteSpaceNormal));
            list_->addTopLevelItem(item);
        }
        for (int c = 0; c < req.columns.size(); ++c) {
            list_->resizeColumnToContents(c);
            natural_ << list_->columnWidth(c) + 16;
        }
        if (!natural_.isEmpty() && natural_[0] < 80) natural_[0] = 80;
        list_->setTextElideMode(Qt::ElideRight);
        list_->viewport()->installEventFilter(this);
        lay->addWidget(list_, 1);

        auto* buttons = new QHBoxLayout;
        count_ = new QLabel(this);
        buttons->addWidget(count_, 1);
        auto* ok = new QPushButton(QString::fromUtf8("選択(&O)"), this);
        ok->setObjectName("cmdOK");
        ok->setDefault(true);
        auto* cancel = new QPushButton(QString::fromUtf8("ｷｬﾝｾﾙ(&X)"), this);
        cancel->setObjectName("cmdCancel");
        buttons->addWidget(ok);
        buttons->addWidget(cancel);
        lay->addLayout(buttons);

        connect(ok, &QPushButton::clicked, this, [this] { choose(); });
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(list_, &QTreeWidget::itemActivated, this, [this] { choose(); });
        connect(filter_, &QLineEdit::textChanged, this, [this](const QString& t) { applyFilter(t); });
        filter_->installEventFilter(this);
        applyFilter(QString());
        resize(560, 460);
        filter_->setFocus();
    }

    int ChosenRow() const { return chosen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == list_->viewport() && event->type() == QEvent::Resize) fitColumns();
        if (watched == filter_ && event->type() == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            switch (ke->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown: {
                QKeyEvent copy(ke->type(), ke->key(), ke->modifiers(), ke->text());
                QCoreApplication::sendEvent(list_, &copy);
                return true;
            }
            case Qt::Key_Return:
            case Qt::Key_Enter: choose(); return true;
            default: break;
            }
        }
        return QDialog::eventFilter(watched, event);
    }

private:
    // The columns take the width of their contents as far as the list is
    // wide: the code column keeps its width, and when the texts are wider
    // than what is left, that is shared among the text columns (one
    // narrower than its share keeps its own width); a longer text is cut
    // with an ellipsis. The last column fills the rest of the list.
    void fitColumns() {
        const int n = natural_.size();
        if (n == 0) return;
        QList<int> width = natural_;
        int sum = 0;
        for (int w : width) sum += w;
        const int available = list_->viewport()->width();
        if (sum > available && n > 1) {
            QList<int> texts;
            for (int c = 1; c < n; ++c) texts << c;
            std::sort(texts.begin(), texts.end(), [this](int a, int b) { return natural_[a] < natural_[b]; });
            int rest = std::max(0, available - width[0]);
            for (int k = 0; k < texts.size(); ++k) {
                const int share = rest / static_cast<int>(texts.size() - k);
                const int c = texts[k];
                width[c] = std::min(natural_[c], share);
                rest -= width[c];
            }
        }
        for (int c = 0; c < n; ++c) list_->setColumnWidth(c, width[c]);
    }

    void applyFilter(const QString& typed) {
        QString f = folded(typed.trimmed());
        int shown = 0;
        QTreeWidgetItem* first = nullptr;
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            const QVariantList& values = req_.rows[item->data(0, Qt::UserRole).toInt()];
            bool match = f.isEmpty() || (!values.isEmpty() && folded(values[0].toString()).startsWith(f));
            for (int c = 1; !match && c < req_.shownItems.size(); ++c) {
                int idx = req_.shownItems[c];
                if (idx < values.size() && values[idx].typeId() == QMetaType::QString)
                    match = folded(values[idx].toString()).contains(f);
            }
            item->setHidden(!match);
            if (match) {
                ++shown;
                if (!first) first = item;
            }
        }
        QTreeWidgetItem* cur = list_->currentItem();
        if (!cur || cur->isHidden()) list_->setCurrentItem(first);
        if (list_->currentItem()) list_->scrollToItem(list_->currentItem());
        count_->setText(QString::number(shown) + QString::fromUtf8(" 件"));
    }

    void choose() {
        QTreeWidgetItem* item = list_->currentItem();
        if (!item || item->isHidden()) return;
        chosen_ = item->data(0, Qt::UserRole).toInt();
        accept();
    }

    const CodeSearchRequest& req_;
    QLineEdit* filter_;
    QTreeWidget* list_;
    QLabel* count_;
    QList<int> natural_;  // width of each column's contents
    int chosen_ = CodeSearch::Cancel;
};

}  // namespace

void SetCodeSearchHandler(CodeSearchHandler handler) { g_handler = std::move(handler); }

CodeSearch::CodeSearch() = default;
CodeSearch::~CodeSearch() = default;

QVariant CodeSearch::Item(int index) const {
    if (index < 0 || index >= items_.size()) return QVariant();
    return items_[index];
}

DBAccess* CodeSearch::database() {
    if (shared_ && shared_->IsConnected()) return shared_;
    if (own_ && own_->IsConnected()) return own_.get();
    own_ = std::make_unique<DBAccess>();
    QString c = connection_.trimmed();
    const QString key = "File Name=";
    if (c.startsWith(key, Qt::CaseInsensitive)) {
        QString path = c.mid(key.size()).trimmed();
        if (path.size() >= 2 && path.startsWith('"') && path.endsWith('"')) path = path.mid(1, path.size() - 2);
        own_->SetDataLinkFile(path);
    }
    if (!own_->Connect()) {
        error_ = own_->ErrorText();
        own_.reset();
        return nullptr;
    }
    return own_.get();
}

bool CodeSearch::BuildRequest(const QString& kind, const QVariantList& params, CodeSearchRequest& req) {
    error_.clear();
    req = CodeSearchRequest();
    req.kind = kind;
    req.params = params;
    while (req.params.size() < 10) req.params << QString();
    const QVariantList& p = req.params;
    const QString k = kind.trimmed().toUpper();

    QString sql;
    std::vector<Column> cols;
    if (k == "KMK") {
        req.title = QString::fromUtf8("科目検索");
        req.heading = num(p[0]) ? QString::fromUtf8("%1年度").arg(num(p[0])) : QString();
        req.columns = QStringList{"コード", "略称", "名称"};
        req.shownItems = {0, 1, 2};
        cols = {{"KMK_CD", true}, {"KMK_RNAME", false}, {"KMK_NM", false}, {"KMK_TSKBN", true},
                {"KMK_ZKBN", true}, {"KMK_H1FLG", true}, {"KMK_GRKBN", true}};
        QString grpKbn = dec(p[1]);
        sql = "SELECT KMK_CD, KMK_RNAME, KMK_NM, KMK_TSKBN, KMK_ZKBN, KMK_H1FLG, KMK_GRKBN"
              "  FROM KMKMF"
              " WHERE KMK_NENDO = " + dec(p[0]) +
              "   AND (KMK_GRKBN NOT IN (1, 2)"
              "        OR (KMK_GRKBN = 1 AND " + grpKbn + " = 0)"
              "        OR (KMK_GRKBN = 2 AND " + grpKbn + " = 1"
              "            AND KMK_SSKCD = " + dec(p[2]) + " AND KMK_GRPCD = " + dec(p[3]) + "))"
              " ORDER BY KMK_SORT, KMK_CD";
    } else if (k == "HK1") {
        req.title = QString::fromUtf8("補助科目１検索");
        req.heading = QString::fromUtf8("科目：%1　%2").arg(num(p[1])).arg(text(p[2]));
        req.columns = QStringList{"コード", "略称", "名称"};
        req.shownItems = {0, 1, 2};
        cols = {{"HK1_CD", true}, {"HK1_RNAME", false}, {"HK1_NM", false}, {"HK1_H2FLG", true}};
        sql = "SELECT HK1_CD, HK1_RNAME, HK1_NM, HK1_H2FLG"
              "  FROM HK1MF"
              " WHERE HK1_NENDO = " + dec(p[0]) +
              "   AND HK1_KMKCD = " + dec(p[1]) +
              " ORDER BY HK1_SORT, HK1_CD";
    } else if (k == "HK2") {
        req.title = QString::fromUtf8("補助科目２検索");
        req.heading = QString::fromUtf8("科目：%1　%2　　補助科目１：%3　%4")
                          .arg(num(p[1])).arg(text(p[2])).arg(num(p[3])).arg(text(p[4]));
        req.columns = QStringList{"コード", "略称", "名称"};
        req.shownItems = {0, 1, 2};
        cols = {{"HK2_CD", true}, {"HK2_RNAME", false}, {"HK2_NM", false}};
        sql = "SELECT HK2_CD, HK2_RNAME, HK2_NM"
              "  FROM HK2MF"
              " WHERE HK2_NENDO = " + dec(p[0]) +
              "   AND HK2_KMKCD = " + dec(p[1]) +
              "   AND HK2_HK1CD = " + dec(p[3]) +
              "   AND HK2_SSKCD = " + dec(p[5]) +
              "   AND HK2_GRPCD = " + dec(p[6]) +
              " ORDER BY HK2_SORT, HK2_CD";
    } else if (k == "ZEI") {
        req.title = QString::fromUtf8("税区分検索");
        req.columns = QStringList{"コード", "名称", "税率"};
        req.shownItems = {0, 1, 3};
        cols = {{"ZEI_CD", true}, {"ZEI_NAME", false}, {"ZEI_KBN", true},
                {"ZEI_RITU", false}, {"ZEI_DATEST", true}, {"ZEI_DATEEND", true}};
        sql = "SELECT ZEI_CD, ZEI_NAME, ZEI_KBN, ZEI_RITU, ZEI_DATEST, ZEI_DATEEND"
              "  FROM ZEIMF"
              " ORDER BY ZEI_CD, ZEI_DATEST DESC";
    } else if (k == "TRI") {
        req.title = QString::fromUtf8("取引先検索");
        req.columns = QStringList{"コード", "名称", "カナ"};
        req.shownItems = {0, 1, 2};
        cols = {{"TRI_CD", true}, {"TRI_NAME", false}, {"TRI_KANA", false}};
        sql = "SELECT TRI_CD, TRI_NAME, TRI_KANA"
              "  FROM TRIMF"
              " WHERE TRI_SSKCD = " + dec(p[0]) +
              " ORDER BY TRI_CD";
    } else if (k == "TEK") {
        req.title = QString::fromUtf8("摘要検索");
        req.columns = QStringList{"コード", "摘要"};
        req.shownItems = {0, 1};
        cols = {{"TEK_CD", true}, {"TEK_NAME", false}};
        sql = "SELECT TEK_CD, TEK_NAME"
              "  FROM TEKMF"
              " WHERE TEK_SSKCD = " + dec(p[0]) +
              " ORDER BY TEK_SORT, TEK_CD";
    } else if (k == "TAN") {
        req.title = QString::fromUtf8("担当者検索");
        req.columns = QStringList{"コード", "氏名"};
        req.shownItems = {0, 1};
        cols = {{"USG_ID", true}, {"USG_NAME", false}, {"USG_NAME", false}};
        sql = "SELECT USG_ID, USG_NAME, USG_NAME"
              "  FROM USGMF"
              " ORDER BY USG_ID";
    } else {
        error_ = "unknown kind: " + kind;
        return false;
    }

    DBAccess* db = database();
    if (!db) return false;
    try {
        RecordsetPtr rs = db->OpenRecordset(sql);
        while (!rs->Eof()) {
            QVariantList values;
            for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
                DbValue v = rs->Fields(i).Value();
                if (cols[i].number) values << QVariant(static_cast<qlonglong>(ValLng(v.Text())));
                else values << QVariant(v.Text());
            }
            req.rows.push_back(values);
            rs->MoveNext();
        }
    } catch (const AppError& e) {
        error_ = e.Description;
        req.rows.clear();
        return false;
    }

    if (k == "ZEI") {
        // One row per code: the one valid today, else the latest.
        const long today = DateNumber(Today());
        std::vector<QVariantList> one;
        bool lastValid = false;
        for (const QVariantList& r : req.rows) {
            bool valid = r[4].toLongLong() <= today && today <= r[5].toLongLong();
            if (one.empty() || one.back()[0] != r[0]) {
                one.push_back(r);
                lastValid = valid;
            } else if (valid && !lastValid) {
                one.back() = r;
                lastValid = true;
            }
        }
        req.rows = std::move(one);
    }
    return true;
}

void CodeSearch::ShowSearch(const QString& kind, const QVariantList& params) {
    chosen_ = false;
    items_.clear();
    CodeSearchRequest req;
    if (!BuildRequest(kind, params, req)) return;
    int row = Cancel;
    if (g_handler) {
        row = g_handler(req);
    } else {
        CodeSearchDialog dlg(req, QApplication::activeWindow());
        if (dlg.exec() == QDialog::Accepted) row = dlg.ChosenRow();
    }
    if (row < 0 || row >= static_cast<int>(req.rows.size())) return;
    items_ = req.rows[row];
    chosen_ = true;
}
