// DbValue: one value as read from the database: Null, or its text.
// Callers read it "as text, Null as empty text" (Text()) or as the leading
// number of that text (see platform/VbCompat.h, Val()).
// A whole number the database stores as such is kept as that number and
// its text made only when asked for (the same text the database gives);
// IsInteger()/Integer() let number readers skip the text.
#pragma once
#include <QString>

class DbValue {
public:
    DbValue() : kind_(Kind::Null) {}
    explicit DbValue(QString text) : kind_(Kind::Text), text_(std::move(text)) {}
    explicit DbValue(qint64 number) : kind_(Kind::Integer), number_(number) {}
    static DbValue Null() { return DbValue(); }

    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsInteger() const { return kind_ == Kind::Integer; }
    // The number of an integer value (0 for any other).
    qint64 Integer() const { return number_; }
    // Text of the value, empty for Null.
    const QString& Text() const {
        if (kind_ == Kind::Integer && text_.isNull()) text_ = QString::number(number_);
        return text_;
    }
    operator QString() const { return Text(); }
    bool operator==(const DbValue& o) const { return IsNull() == o.IsNull() && Text() == o.Text(); }

private:
    enum class Kind : unsigned char { Null, Text, Integer };
    Kind kind_;
    qint64 number_ = 0;
    mutable QString text_;
};
