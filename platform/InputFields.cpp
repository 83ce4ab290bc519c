#include "platform/InputFields.h"

#include "platform/KeyCodes.h"
#include "platform/VbCompat.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QTextCharFormat>
#include <QToolButton>
#include <QValidator>
#include <QVBoxLayout>

namespace {

// Full-width digits and separators as their ASCII forms.
QString narrow(const QString& s) {
    QString r = s;
    for (QChar& c : r) {
        ushort u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19) c = QChar(u - 0xFF10 + '0');
        else if (u == 0xFF0F) c = '/';
        else if (u == 0xFF0D || u == 0x30FC) c = '-';
        else if (u == 0xFF0E) c = '.';
    }
    return r;
}

bool allDigits(const QString& s) {
    for (QChar c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Digits only, at most `max` of them.
class DigitsValidator : public QValidator {
public:
    DigitsValidator(int max, QObject* parent) : QValidator(parent), max_(max) {}
    void setMax(int max) { max_ = max; }
    State validate(QString& input, int&) const override {
        input = narrow(input);
        if (input.size() > max_ || !allDigits(input)) return Invalid;
        return Acceptable;
    }

private:
    int max_;
};

// Digits and separators of a date, at most `max` characters.
class DateCharsValidator : public QValidator {
public:
    DateCharsValidator(int max, QObject* parent) : QValidator(parent), max_(max) {}
    void setMax(int max) { max_ = max; }
    State validate(QString& input, int&) const override {
        input = narrow(input);
        input.replace('-', '/').replace('.', '/');
        if (input.size() > max_) return Invalid;
        for (QChar c : input)
            if (!(c == '/' || (c >= '0' && c <= '9'))) return Invalid;
        return Intermediate;  // tidied on leaving
    }

private:
    int max_;
};

int yearOf(const QString& s) {
    int y = s.toInt();
    if (s.size() <= 2) y += 2000;
    return y;
}

}  // namespace

// ---------------------------------------------------------------- imFieldBase

imFieldBase::imFieldBase(const QString& fontFamily, QWidget* parent) : QWidget(parent) {
    QFont f(fontFamily);
    f.setPointSizeF(QApplication::font().pointSizeF());
    setFont(f);
    edit_ = new QLineEdit(this);
    edit_->setObjectName("editor");
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addWidget(edit_);
    setFocusProxy(edit_);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(edit_->sizePolicy());
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textChanged, this, [this] { emit Change(); });
}

void imFieldBase::SetFocus() { edit_->setFocus(Qt::OtherFocusReason); }

Qt::Alignment imFieldBase::Alignment() const { return edit_->alignment(); }
void imFieldBase::Alignment(Qt::Alignment a) { edit_->setAlignment(a); }
bool imFieldBase::Locked() const { return edit_->isReadOnly(); }
void imFieldBase::Locked(bool on) { edit_->setReadOnly(on); }

void imFieldBase::setEditorText(const QString& text) {
    if (edit_->text() != text) edit_->setText(text);
}

void imFieldBase::moveFocus(bool next) {
    // As the Tab key does: the next (previous) field of the window's tab order.
    QKeyEvent tab(QEvent::KeyPress, next ? Qt::Key_Tab : Qt::Key_Backtab,
                  next ? Qt::NoModifier : Qt::ShiftModifier);
    movingFocus_ = true;
    QCoreApplication::sendEvent(edit_, &tab);
    movingFocus_ = false;
}

bool imFieldBase::eventFilter(QObject* watched, QEvent* event) {
    if (watched != edit_) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (movingFocus_) break;  // the Tab this field sends to move on
        int code = VbKeyCode(ke);
        if (code != 0) {
            emit KeyDown(code, VbShiftState(ke->modifiers()));
            if (code == 0) return true;
        }
        if (handleKey(ke)) return true;
        Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
        bool enter = ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter;
        if (enter && enterMoves_ && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
            moveFocus(mods == Qt::NoModifier);
            return true;
        }
        if (arrowsMove_ && mods == Qt::NoModifier && (ke->key() == Qt::Key_Down || ke->key() == Qt::Key_Up)) {
            moveFocus(ke->key() == Qt::Key_Down);
            return true;
        }
        break;
    }
    case QEvent::FocusIn: {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        bool returning = keptFocus_;
        keptFocus_ = false;
        // The focus coming back after the window was inactive or the
        // calendar was open is no new focus; the first focus of a window
        // that is shown is.
        if (returning && (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)) break;
        if (reason != Qt::MouseFocusReason) edit_->selectAll();
        emit GotFocus();
        break;
    }
    case QEvent::FocusOut: {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) {
            keptFocus_ = true;
            break;
        }
        keptFocus_ = false;
        tidy();
        emit LostFocus();
        break;
    }
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

// --------------------------------------------------------------------- imText

imText::imText(QWidget* parent) : imFieldBase(QString::fromUtf8("ＭＳ Ｐゴシック"), parent) {
    edit_->setMaxLength(32767);
}

QString imText::Value() const { return edit_->text(); }
void imText::Value(const QString& text) { setEditorText(text); }
int imText::MaxLength() const { return edit_->maxLength(); }
void imText::MaxLength(int n) { edit_->setMaxLength(n > 0 ? n : 32767); }

// ------------------------------------------------------------------- imNumber

imNumber::imNumber(QWidget* parent) : imFieldBase(QString::fromUtf8("ＭＳ ゴシック"), parent) {
    edit_->setValidator(new DigitsValidator(maxDigits_, edit_));
    edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Format("#######0");
}

void imNumber::Format(const QString& format) {
    format_ = format;
    int n = 0;
    for (QChar c : format)
        if (c == '#' || c == '0') ++n;
    maxDigits_ = n > 0 ? n : 8;
    zeroShown_ = format.contains('0');
    static_cast<DigitsValidator*>(const_cast<QValidator*>(edit_->validator()))->setMax(maxDigits_);
    setEditorText(display(edit_->text()));
}

QString imNumber::display(const QString& digits) const {
    QString d = narrow(digits).trimmed();
    if (d.isEmpty() || !allDigits(d)) return QString();
    int i = 0;
    while (i < d.size() - 1 && d[i] == '0') ++i;
    d = d.mid(i);
    if (d == "0" && !zeroShown_) return QString();
    return d;
}

QString imNumber::Value() const { return display(edit_->text()); }
QString imNumber::Text() const { return edit_->text(); }

void imNumber::Value(const QString& text) {
    QString t = narrow(text).trimmed();
    if (t.isEmpty() || !IsNumeric(t) || Val(t) < 0) {
        setEditorText(QString());
        return;
    }
    if (!allDigits(t)) t = QString::number(static_cast<qint64>(Val(t)));  // "12.7" -> "12"
    setEditorText(display(t));
}

long imNumber::NumValue() const {
    QString v = Value();
    return v.isEmpty() ? 0 : v.toLong();
}
void imNumber::NumValue(long n) { Value(QString::number(n)); }
bool imNumber::IsEmpty() const { return edit_->text().isEmpty(); }
void imNumber::tidy() { setEditorText(display(edit_->text())); }

// ----------------------------------------------------------------- imCalendar

imCalendar::imCalendar(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(1, 1, 1, 1);
    cal_ = new QCalendarWidget(this);
    cal_->setObjectName("calendar");
    cal_->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    cal_->setFirstDayOfWeek(Qt::Sunday);
    cal_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    cal_->setGridVisible(true);
    QFont f(QString::fromUtf8("ＭＳ Ｐゴシック"));
    f.setPointSizeF(QApplication::font().pointSizeF());
    cal_->setFont(f);
    QTextCharFormat weekday;
    weekday.setForeground(Qt::black);
    for (int d = Qt::Monday; d <= Qt::Friday; ++d) cal_->setWeekdayTextFormat(Qt::DayOfWeek(d), weekday);
    QTextCharFormat sat;
    sat.setForeground(QColor(0, 0, 255));
    cal_->setWeekdayTextFormat(Qt::Saturday, sat);
    QTextCharFormat sun;
    sun.setForeground(QColor(255, 0, 0));
    cal_->setWeekdayTextFormat(Qt::Sunday, sun);
    lay->addWidget(cal_);
    connect(cal_, &QCalendarWidget::currentPageChanged, this, [this](int year, int) { pageShown(year); });
    connect(cal_, &QCalendarWidget::clicked, this, [this](const QDate& d) { emit Chosen(d); });
    connect(cal_, &QCalendarWidget::activated, this, [this](const QDate& d) { emit Chosen(d); });
}

void imCalendar::Holidays(const QString& list) {
    holidays_ = list;
    days_.clear();
    for (const QString& item : list.split(',', Qt::SkipEmptyParts)) {
        QStringList md = narrow(item).trimmed().split('/');
        if (md.size() != 2) continue;
        bool okM = false, okD = false;
        int m = md[0].trimmed().toInt(&okM), d = md[1].trimmed().toInt(&okD);
        if (okM && okD && m >= 1 && m <= 12 && d >= 1 && d <= 31) days_.insert(m * 100 + d);
    }
    applyHolidays();
}

bool imCalendar::IsHoliday(int month, int day) const { return days_.contains(month * 100 + day); }
int imCalendar::ShownYear() const { return cal_->yearShown(); }
int imCalendar::ShownMonth() const { return cal_->monthShown(); }

void imCalendar::ShowPage(const QDate& date) {
    cal_->setSelectedDate(date);
    cal_->setCurrentPage(date.year(), date.month());
    pageShown(date.year());  // also when the page was already shown
}

void imCalendar::pageShown(int year) {
    if (year != holidayYear_) {
        holidayYear_ = year;
        emit YearShown(year);  // the owner may set this year's list here
    }
    applyHolidays();
}

void imCalendar::applyHolidays() {
    cal_->setDateTextFormat(QDate(), QTextCharFormat());  // clears every date
    QTextCharFormat holiday;
    holiday.setForeground(QColor(255, 0, 0));
    holiday.setFontWeight(QFont::Bold);
    holiday.setBackground(QColor(255, 228, 228));
    int year = cal_->yearShown();
    for (int md : days_) {
        QDate d(year, md / 100, md % 100);
        if (d.isValid()) cal_->setDateTextFormat(d, holiday);
    }
}

void imCalendar::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape || (e->key() == Qt::Key_F4) ||
        (e->key() == Qt::Key_Up && (e->modifiers() & Qt::AltModifier))) {
        hide();
        return;
    }
    QFrame::keyPressEvent(e);
}

void imCalendar::hideEvent(QHideEvent* e) {
    QFrame::hideEvent(e);
    emit Closed();
}

// --------------------------------------------------------------------- imDate

imDate::imDate(QWidget* parent) : imFieldBase(QString::fromUtf8("ＭＳ ゴシック"), parent) {
    edit_->setValidator(new DateCharsValidator(10, edit_));
    button_ = new QToolButton(this);
    button_->setObjectName("dropDown");
    button_->setArrowType(Qt::DownArrow);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::ArrowCursor);
    layout_->addWidget(button_);
    calendar_ = new imCalendar(this);
    calendar_->hide();
    connect(button_, &QToolButton::clicked, this, [this] {
        if (IsDroppedDown()) CloseUp();
        else DropDown();
    });
    connect(edit_, &QLineEdit::textEdited, this, [this](const QString& t) { typed(t); });
    connect(calendar_, &imCalendar::YearShown, this, [this](int year) { emit CalendarYearChanged(year); });
    connect(calendar_, &imCalendar::Chosen, this, [this](const QDate& d) { chosen(d); });
    connect(calendar_, &imCalendar::Closed, this, [this] {
        if (isEnabled() && window()->isActiveWindow()) edit_->setFocus(Qt::PopupFocusReason);
    });
}

QString imDate::Format() const {
    switch (precision_) {
    case Month: return "yyyy/mm";
    case Year: return "yyyy";
    default: return "yyyy/mm/dd";
    }
}

void imDate::Format(const QString& format) {
    QDate d = Date();
    QString f = format.trimmed().toLower();
    if (f == "yyyy") precision_ = Year;
    else if (f == "yyyy/mm" || f == "yyyy/m") precision_ = Month;
    else precision_ = Day;
    static_cast<DateCharsValidator*>(const_cast<QValidator*>(edit_->validator()))
        ->setMax(precision_ == Day ? 10 : precision_ == Month ? 7 : 4);
    if (d.isValid()) setEditorText(formatDate(d));
    updateGeometry();
}

QString imDate::formatDigits(long y, long m, long d) const {
    QString s = QString("%1").arg(y, 4, 10, QChar('0'));
    if (precision_ != Year) s += QString("/%1").arg(m, 2, 10, QChar('0'));
    if (precision_ == Day) s += QString("/%1").arg(d, 2, 10, QChar('0'));
    return s;
}

QString imDate::formatDate(const QDate& d) const {
    if (!d.isValid()) return QString();
    return formatDigits(d.year(), d.month(), d.day());
}

QDate imDate::Date() const { return parse(edit_->text()); }

QDate imDate::parse(const QString& text) const {
    QString t = narrow(text).trimmed();
    t.replace('-', '/').replace('.', '/');
    if (t.isEmpty()) return QDate();
    int y = 0, m = 1, d = 1;
    QStringList p = t.split('/');
    for (const QString& s : p)
        if (s.isEmpty() || !allDigits(s)) return QDate();
    int thisYear = Today().year();
    switch (precision_) {
    case Day:
        if (p.size() == 1) {
            const QString& s = p[0];
            if (s.size() == 8) { y = s.left(4).toInt(); m = s.mid(4, 2).toInt(); d = s.mid(6, 2).toInt(); }
            else if (s.size() == 6) { y = 2000 + s.left(2).toInt(); m = s.mid(2, 2).toInt(); d = s.mid(4, 2).toInt(); }
            else if (s.size() == 4) { y = thisYear; m = s.left(2).toInt(); d = s.mid(2, 2).toInt(); }
            else return QDate();
        } else if (p.size() == 3 && p[0].size() != 3 && p[0].size() <= 4) {
            y = yearOf(p[0]); m = p[1].toInt(); d = p[2].toInt();
        } else if (p.size() == 2) {
            y = thisYear; m = p[0].toInt(); d = p[1].toInt();
        } else return QDate();
        break;
    case Month:
        if (p.size() == 1) {
            const QString& s = p[0];
            if (s.size() == 6) { y = s.left(4).toInt(); m = s.mid(4, 2).toInt(); }
            else if (s.size() == 4) { y = 2000 + s.left(2).toInt(); m = s.mid(2, 2).toInt(); }
            else return QDate();
        } else if ((p.size() == 2 || p.size() == 3) && p[0].size() != 3 && p[0].size() <= 4) {
            y = yearOf(p[0]); m = p[1].toInt();
            if (p.size() == 3 && !QDate(y, m, p[2].toInt()).isValid()) return QDate();
        } else return QDate();
        break;
    case Year:
        if (p.size() != 1 || (p[0].size() != 4 && p[0].size() != 2)) return QDate();
        y = yearOf(p[0]);
        break;
    }
    if (y < 1000 || y > 9999) return QDate();
    return QDate(y, m, d);  // invalid when it names no day
}

void imDate::Date(const QDate& d) { setEditorText(formatDate(d)); }

QString imDate::Value() const { return edit_->text(); }

void imDate::Value(const QString& text) {
    QDate d = parse(text);
    setEditorText(d.isValid() ? formatDate(d) : narrow(text).trimmed());
}

long imDate::NumValue() const {
    QDate d = Date();
    if (!d.isValid()) return 0;
    switch (precision_) {
    case Year: return d.year();
    case Month: return d.year() * 100L + d.month();
    default: return d.year() * 10000L + d.month() * 100L + d.day();
    }
}

void imDate::NumValue(long n) {
    if (n >= 10000000 && n <= 99999999) setEditorText(formatDigits(n / 10000, n / 100 % 100, n % 100));
    else if (n >= 100000 && n <= 999999) setEditorText(formatDigits(n / 100, n % 100, 1));
    else if (n >= 1000 && n <= 9999) setEditorText(formatDigits(n, 1, 1));
    else setEditorText(QString());
}

bool imDate::IsEmpty() const { return edit_->text().trimmed().isEmpty(); }

void imDate::typed(const QString& text) {
    // Digits typed in a row take the shape of the format as soon as they
    // are complete.
    int full = precision_ == Day ? 8 : precision_ == Month ? 6 : 4;
    if (precision_ == Year || text.size() != full || !allDigits(text)) return;
    long n = text.toLong();
    if (precision_ == Day) setEditorText(formatDigits(n / 10000, n / 100 % 100, n % 100));
    else setEditorText(formatDigits(n / 100, n % 100, 1));
    edit_->setCursorPosition(edit_->text().size());
}

void imDate::tidy() {
    QDate d = Date();
    if (d.isValid()) setEditorText(formatDate(d));
}

QString imDate::Holidays() const { return calendar_->Holidays(); }
void imDate::Holidays(const QString& list) { calendar_->Holidays(list); }

bool imDate::IsDroppedDown() const { return calendar_->isVisible(); }

void imDate::DropDown() {
    if (!isEnabled() || edit_->isReadOnly() || IsDroppedDown()) return;
    tidy();
    emit CalendarOpening();
    calendar_->HolidayYear(Today().year());  // the list just given is this year's
    QDate d = Date();
    calendar_->ShowPage(d.isValid() ? d : Today());
    calendar_->adjustSize();
    QPoint below = mapToGlobal(QPoint(0, height()));
    QSize size = calendar_->sizeHint();
    if (QScreen* s = screen()) {
        QRect r = s->availableGeometry();
        if (below.y() + size.height() > r.bottom()) below.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
        if (below.x() + size.width() > r.right()) below.setX(r.right() - size.width());
        if (below.x() < r.left()) below.setX(r.left());
    }
    calendar_->move(below);
    calendar_->show();
    calendar_->Widget()->setFocus(Qt::PopupFocusReason);
}

void imDate::CloseUp() { calendar_->hide(); }

void imDate::chosen(const QDate& d) {
    calendar_->hide();
    Date(d);
    edit_->selectAll();
}

bool imDate::handleKey(QKeyEvent* e) {
    bool altDown = e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier);
    if (altDown || (e->key() == Qt::Key_F4 && !(e->modifiers() & Qt::AltModifier))) {
        DropDown();
        return true;
    }
    return false;
}

QSize imDate::sizeHint() const {
    QFontMetrics fm(edit_->font());
    QString sample = precision_ == Day ? "0000/00/00" : precision_ == Month ? "0000/00" : "0000";
    int w = fm.horizontalAdvance(sample) + 16 + button_->sizeHint().width();
    return QSize(w, edit_->sizeHint().height());
}
