// SPDX-License-Identifier: GPL-3.0-or-later
#include "charsetcodec.h"
#include "virtualmodem_p.h"

#include "pdu/gsmalphabet.h"
#include "pellixerror.h"

#include <QStringDecoder>

namespace pellix::sim {

std::optional<QString> CharsetCodec::decode(const QByteArray &bytes) const
{
    if (m_charset == "UCS2") {
        return textFromUcs2Hex(bytes);
    }
    if (m_charset == "GSM") {
        QByteArray septets = bytes;
        for (char &c : septets) {
            if (quint8(c) > 0x7F)
                return std::nullopt;
        }
        return pdu::decodeGsm7(septets);
    }
    // IRA: 7-bit text by 27.007, but many modems pass 8-bit bytes through unchanged; UTF-8 (or
    // else Latin-1) keeps what a client wrote readable when it reads it back.
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return decoder.hasError() ? QString::fromLatin1(bytes) : text;
}

QByteArray CharsetCodec::encode(const QString &text) const
{
    if (m_charset == "UCS2") {
        QByteArray raw;
        for (QChar c : text) {
            raw += char(c.unicode() >> 8);
            raw += char(c.unicode() & 0xFF);
        }
        return raw.toHex().toUpper();
    }
    if (m_charset == "GSM") {
        QByteArray septets;
        for (QChar c : text) {
            try {
                septets += pdu::encodeGsm7(QString(c));
            } catch (const RaisedError &) {
                septets += '?';
            }
        }
        return septets;
    }
    return text.toUtf8();
}

} // namespace pellix::sim
