// DbValue: one value as read from the database: Null, or its text.
// Callers read it "as text, Null as empty text" (Text()) or as the leading
// number of that text (see platform/VbCompat.h, Val()).
#pragma once
#include <QString>

class DbValue {
public:
    DbValue() : null_(true) {}
    explicit DbValue(QString text) : null_(false), text_(std::move(text)) {}
    static DbValue Null() { return DbValue(); }

    bool IsNull() const { return null_; }
    // Text of the value, empty for Null.
    const QString& Text() const { return text_; }
    operator QString() const { return text_; }
    bool operator==(const DbValue& o) const { return null_ == o.null_ && text_ == o.text_; }

private:
    bool null_;
    QString text_;
};
