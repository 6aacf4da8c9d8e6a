// SPDX-License-Identifier: GPL-3.0-or-later
#include "atcommand.h"

namespace pellix {

AtCommand AtCommand::plain(const QByteArray &line, int timeoutMs)
{
    AtCommand c;
    c.line = line;
    c.timeoutMs = timeoutMs;
    return c;
}

AtCommand AtCommand::prefixed(const QByteArray &line, const QByteArray &prefix, int timeoutMs)
{
    AtCommand c = plain(line, timeoutMs);
    c.prefix = prefix;
    c.shape = ResponseShape::Prefixed;
    return c;
}

AtCommand AtCommand::withPdus(const QByteArray &line, const QByteArray &prefix, int timeoutMs)
{
    AtCommand c = prefixed(line, prefix, timeoutMs);
    c.shape = ResponseShape::PrefixedWithPdu;
    return c;
}

AtCommand AtCommand::bare(const QByteArray &line, int timeoutMs)
{
    AtCommand c = plain(line, timeoutMs);
    c.shape = ResponseShape::Bare;
    return c;
}

AtCommand AtCommand::sendingPdu(const QByteArray &line, const QByteArray &pdu, const QByteArray &prefix, int timeoutMs)
{
    AtCommand c = prefix.isEmpty() ? plain(line, timeoutMs) : prefixed(line, prefix, timeoutMs);
    c.pdu = pdu;
    return c;
}

AtCommand AtCommand::listing(int cap) const
{
    AtCommand c = *this;
    c.capMs = cap;
    return c;
}

QString finalCodeName(FinalCode code)
{
    switch (code) {
    case FinalCode::Ok: return QStringLiteral("OK");
    case FinalCode::Error: return QStringLiteral("ERROR");
    case FinalCode::CmeError: return QStringLiteral("+CME ERROR");
    case FinalCode::CmsError: return QStringLiteral("+CMS ERROR");
    case FinalCode::NoCarrier: return QStringLiteral("NO CARRIER");
    case FinalCode::Busy: return QStringLiteral("BUSY");
    case FinalCode::NoAnswer: return QStringLiteral("NO ANSWER");
    case FinalCode::NoDialtone: return QStringLiteral("NO DIALTONE");
    case FinalCode::CommandNotSupport: return QStringLiteral("COMMAND NOT SUPPORT");
    }
    return QString();
}

} // namespace pellix
