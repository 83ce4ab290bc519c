// AppError: the error object that travels from where a run-time error is
// raised to the handler that reports it (number, description, source).
// Numbers keep the meaning the programs give them: vbObjectError-based
// argument errors (&H80040000), the missing report template (&HA0000001),
// and database errors as the data-access layer numbers them.
#pragma once
#include <QString>
#include <exception>

constexpr long vbObjectError = static_cast<long>(0x80040000u);

class AppError : public std::exception {
public:
    AppError(long number, QString description, QString source = QString())
        : Number(number), Description(std::move(description)), Source(std::move(source)),
          what_(Description.toStdString()) {}
    const char* what() const noexcept override { return what_.c_str(); }

    long Number;
    QString Description;
    QString Source;

private:
    std::string what_;
};
