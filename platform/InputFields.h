// Input fields of the windows: imText (free text), imNumber (digits only)
// and imDate (a date with a drop-down calendar). Each is a QWidget holding
// one QLineEdit (Editor(), the focus proxy of the field).
//
// What callers rely on (all three):
//  - Value() reads and Value(text) sets the text of the field.
//  - Change is emitted on every change of the text, typed or set by the
//    program (also while a window fills its fields); not when a value is set
//    that is already there.
//  - GotFocus / LostFocus are emitted when the field gets or loses the
//    keyboard focus within its window (GotFocus also for the field that has
//    the focus when its window is first shown); not when the window is
//    deactivated and activated again or a drop-down calendar opens or
//    closes. imNumber and imDate tidy their text (below) before LostFocus.
//  - KeyDown(KeyCode, Shift) is emitted first for every key pressed in the
//    field, KeyCode as the Windows virtual-key code (F5 = 116, Space = 32,
//    Enter = 13, Up = 38, Down = 40 ...; platform/KeyCodes.h), Shift as 1 Shift |
//    2 Ctrl | 4 Alt. A handler that sets KeyCode to 0 swallows the key.
//  - Enter and the Down arrow move the focus to the next field, Shift+Enter
//    and the Up arrow to the previous one, as Tab and Shift+Tab do
//    (EnterMovesFocus(false) / ArrowsMoveFocus(false) turn that off).
//  - setEnabled(false) disables the field; SetFocus() focuses it (its text
//    selected). Any focus that does not come from a mouse click selects the
//    whole text, so typing replaces it.
//  - Fonts: imText "ＭＳ Ｐゴシック", imNumber and imDate "ＭＳ ゴシック" (IPA fonts
//    through AppInfo::InitApplication()), at the application's point size.
//
// imNumber: display format "#######0", "###0", "########", ...: the number
// of "#" and "0" is the maximum number of digits; a format ending in "0"
// shows 0 as "0", one of "#" only shows 0 as empty. Only the digits 0-9 can
// be typed (full-width digits are taken as such); everything else is
// refused. Value() is the number as text without leading zeros, or "" when
// the field is empty; NumValue() the number (0 when empty). Setting a text
// that is not a whole number of at least 0 (e.g. "abc", "-5") empties the
// field; a fraction is cut ("12.7" -> "12").
//
// imDate: display format "yyyy/mm/dd" (default), "yyyy/mm" (year and month,
// as on the ledger window) or "yyyy" (year only).
//  - Typing: digits and "/" ("-" and "." read as "/"); eight digits typed
//    in a row ("20261208") become "2026/12/08" at once (six "202612" become
//    "2026/12" in year-month mode). On leaving the field the text is tidied:
//    "2026/1/5", "26/1/5", "260105" and "1/5" (this year) all become
//    "2026/01/05". A text that names no date (e.g. "2026/02/30") is left as
//    typed: IsDate() is then false and NumValue() 0.
//  - NumValue(): the date number at the precision of the format: yyyymmdd,
//    yyyymm in year-month mode, yyyy in year mode; 0 when empty or no date.
//    NumValue(n) accepts yyyymmdd, yyyymm (day 1) and yyyy (1 January) in
//    every mode and shows it at the format's precision (a yyyymmdd in
//    year-month mode loses its day); 0 or another length empties the field.
//    A yyyymmdd that names no date is shown as its digits ("2026/02/30").
//  - Date(): the date (the 1st of the month in year-month mode, 1 January in
//    year mode), a null QDate when the field holds no date; Date(d) sets it.
//  - Drop-down calendar: the button, Alt+Down or F4 opens it. Before it opens
//    CalendarOpening() is emitted (the window sets Holidays() for the current
//    year); it shows the field's date (today when empty). Whenever it shows a
//    year other than the one its holiday list was given for (this year after
//    CalendarOpening), CalendarYearChanged(year) is emitted so the window can
//    set that year's list. Holidays(text) takes "1/1,2/11,..." or
//    "01/01,02/11,..." (month/day items joined by ","), marked in red in the
//    shown year; Saturdays are blue, Sundays red. Choosing a day (click or
//    Enter) sets the field and closes the calendar; Esc closes it unchanged.
//    The list is empty until the window sets one.
#pragma once
#include <QDate>
#include <QFrame>
#include <QSet>
#include <QString>
#include <QWidget>

class QCalendarWidget;
class QHBoxLayout;
class QKeyEvent;
class QLineEdit;
class QToolButton;

// Common part of the three fields.
class imFieldBase : public QWidget {
    Q_OBJECT
public:
    QLineEdit* Editor() const { return edit_; }
    void SetFocus();
    bool EnterMovesFocus() const { return enterMoves_; }
    void EnterMovesFocus(bool on) { enterMoves_ = on; }
    bool ArrowsMoveFocus() const { return arrowsMove_; }
    void ArrowsMoveFocus(bool on) { arrowsMove_ = on; }
    Qt::Alignment Alignment() const;
    void Alignment(Qt::Alignment a);
    bool Locked() const;          // read-only (focusable, not editable)
    void Locked(bool on);

signals:
    void Change();
    void GotFocus();
    void LostFocus();
    void KeyDown(int& KeyCode, int Shift);

protected:
    explicit imFieldBase(const QString& fontFamily, QWidget* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Keys of the field kind, after KeyDown and before the focus moves.
    virtual bool handleKey(QKeyEvent*) { return false; }
    // Called on leaving the field, before LostFocus.
    virtual void tidy() {}
    void setEditorText(const QString& text);
    void moveFocus(bool next);

    QLineEdit* edit_;
    QHBoxLayout* layout_;

private:
    bool enterMoves_ = true;
    bool arrowsMove_ = true;
    bool movingFocus_ = false;
    bool keptFocus_ = false;  // lost only to another window or the calendar
};

class imText : public imFieldBase {
    Q_OBJECT
public:
    explicit imText(QWidget* parent = nullptr);
    QString Value() const;
    void Value(const QString& text);
    QString Text() const { return Value(); }
    int MaxLength() const;
    void MaxLength(int n);
};

class imNumber : public imFieldBase {
    Q_OBJECT
public:
    explicit imNumber(QWidget* parent = nullptr);
    QString Format() const { return format_; }
    void Format(const QString& format);
    int MaxDigits() const { return maxDigits_; }
    QString Value() const;
    void Value(const QString& text);
    QString Text() const;         // the text as shown
    long NumValue() const;
    void NumValue(long n);
    bool IsEmpty() const;

protected:
    void tidy() override;

private:
    QString display(const QString& digits) const;
    QString format_;
    int maxDigits_ = 8;
    bool zeroShown_ = true;
};

// The drop-down calendar of an imDate.
class imCalendar : public QFrame {
    Q_OBJECT
public:
    explicit imCalendar(QWidget* parent = nullptr);
    QString Holidays() const { return holidays_; }
    void Holidays(const QString& list);
    // True when month/day is in the holiday list.
    bool IsHoliday(int month, int day) const;
    QCalendarWidget* Widget() const { return cal_; }
    int ShownYear() const;
    int ShownMonth() const;
    // Year the holiday list was given for.
    int HolidayYear() const { return holidayYear_; }
    void HolidayYear(int year) { holidayYear_ = year; }
    void ShowPage(const QDate& date);

signals:
    void YearShown(int year);      // a year other than HolidayYear()
    void Chosen(const QDate& date);
    void Closed();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void pageShown(int year);
    void applyHolidays();
    QCalendarWidget* cal_;
    QString holidays_;
    QSet<int> days_;  // month * 100 + day
    int holidayYear_ = 0;
};

class imDate : public imFieldBase {
    Q_OBJECT
public:
    explicit imDate(QWidget* parent = nullptr);
    // "yyyy/mm/dd", "yyyy/mm" or "yyyy" (case does not matter).
    QString Format() const;
    void Format(const QString& format);
    QString Value() const;
    void Value(const QString& text);
    QString Text() const { return Value(); }
    long NumValue() const;
    void NumValue(long n);
    QDate Date() const;
    void Date(const QDate& d);
    bool IsDate() const { return Date().isValid(); }
    bool IsEmpty() const;

    QString Holidays() const;
    void Holidays(const QString& list);
    imCalendar* Calendar() const { return calendar_; }
    void DropDown();
    void CloseUp();
    bool IsDroppedDown() const;
    QSize sizeHint() const override;

signals:
    void CalendarOpening();
    void CalendarYearChanged(int year);

protected:
    bool handleKey(QKeyEvent* e) override;
    void tidy() override;

private:
    enum Precision { Day, Month, Year };
    QDate parse(const QString& text) const;
    QString formatDate(const QDate& d) const;
    QString formatDigits(long y, long m, long d) const;
    void typed(const QString& text);
    void chosen(const QDate& d);
    Precision precision_ = Day;
    QToolButton* button_;
    imCalendar* calendar_;
};
