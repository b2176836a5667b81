// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>

namespace data {

// What went wrong in the data-access layer. The layer only names the kind
// and passes on the engine's own words; what a user reads is worded by
// whoever asked for the data.
enum class ErrorKind {
    // Opening the file.
    UnsupportedProvider,
    FileMissing,
    NotAFile,
    EmptyFile,
    Unreadable,
    Unencrypted,
    KeyOrFormat,
    Corrupt,
    Busy,
    // Using the objects.
    AlreadyOpen,
    NotOpen,
    NoCurrentRow,
    NoSuchField,
    ReadOnly,
    ParameterCount,
    BadParameter,
    StatementInUse,
    // Anything else the engine reports.
    Engine,
};

class Error : public std::runtime_error
{
public:
    Error(ErrorKind kind, const QString &engineText = {});

    ErrorKind kind() const noexcept { return m_kind; }
    // The engine's message, or a detail such as a count, where there is one.
    const QString &engineText() const noexcept { return m_engineText; }

private:
    ErrorKind m_kind;
    QString m_engineText;
};

} // namespace data
