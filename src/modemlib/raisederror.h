// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <exception>

// The one failure record of the program: a number, the component that raised it and a text.
// The library raises its own in 0x80040000..0x8004FFFF; the console raises small numbers
// (6 overflow, 13 invalid hex, 440 cannot open) with the source "Vendrel".
class RaisedError : public std::exception
{
public:
    RaisedError(qint32 number, QString source, QString description);

    qint32 number() const noexcept { return m_number; }
    const QString &source() const noexcept { return m_source; }
    const QString &description() const noexcept { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }

    static constexpr quint32 LibraryBase = 0x80040000u;
    static constexpr quint32 LibraryLast = 0x8004FFFFu;

private:
    qint32 m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};
