// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Every failure of the program is an exception carrying the text the user sees.
class EAppError : public std::exception {
public:
    explicit EAppError(QString message);

    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// A text that is not an integer ("'%s' is not a valid integer value").
class EConvertError : public EAppError {
public:
    using EAppError::EAppError;
};

// A file could not be created, opened, read or written; the message names the file.
class EFileError : public EAppError {
public:
    using EAppError::EAppError;
};

// The system's text for an errno value.
QString SystemErrorText(int Error);

// The message of any caught exception, as the program shows it.
QString ErrorMessage(const std::exception& e);
