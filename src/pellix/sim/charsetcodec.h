// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pellix::sim {

// Text of phonebook entries and USSD in a +CSCS character set (27.007 5.5): "IRA", "GSM" (septet
// values, one byte each) or "UCS2" (four hex digits a character).
class CharsetCodec
{
public:
    explicit CharsetCodec(const QByteArray &charset) : m_charset(charset) {}

    // nullopt when the bytes are not text in this set.
    std::optional<QString> decode(const QByteArray &bytes) const;
    // Characters the set lacks become '?'.
    QByteArray encode(const QString &text) const;

private:
    QByteArray m_charset;
};

} // namespace pellix::sim
