// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <exception>

namespace cli {

// A command line pellix cannot carry out as written; nothing has been sent to a modem.
class UsageError : public std::exception
{
public:
    explicit UsageError(QString text) : m_text(std::move(text)) {}
    const QString &text() const noexcept { return m_text; }
    const char *what() const noexcept override { return "usage error"; }

private:
    QString m_text;
};

} // namespace cli
