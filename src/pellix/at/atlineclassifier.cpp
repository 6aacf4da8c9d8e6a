// SPDX-License-Identifier: GPL-3.0-or-later
#include "atlineclassifier.h"

#include "atreplies.h"
#include "pellixerror.h"

#include <QHash>

namespace pellix {
namespace {

// Verbose +CMEE=2 texts back to their numbers, built once from the library's 3GPP tables so
// that the two directions cannot disagree.
struct VerboseTables
{
    QHash<QByteArray, int> cme;
    QHash<QByteArray, int> cms;
};

const VerboseTables &verboseTables()
{
    static const VerboseTables tables = [] {
        VerboseTables t;
        for (int n = 0; n < 1000; ++n) {
            const QString unknown = QStringLiteral("unknown error %1").arg(n);
            const QString cme = cmeErrorText(n);
            if (cme != unknown)
                t.cme.insert(cme.toLatin1().toLower(), n);
            const QString cms = cmsErrorText(n);
            if (cms != unknown)
                t.cms.insert(cms.toLatin1().toLower(), n);
        }
        return t;
    }();
    return tables;
}

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

AtLineClass finalClass(FinalCode code, int errorCode = -1)
{
    AtLineClass c;
    c.kind = AtLineClass::Kind::Final;
    c.final = code;
    c.errorCode = errorCode;
    return c;
}

AtLineClass unsolicitedClass(UnsolicitedKind kind)
{
    AtLineClass c;
    c.kind = AtLineClass::Kind::Unsolicited;
    c.unsolicited = kind;
    return c;
}

struct Code
{
    QByteArrayView name; // with its colon
    UnsolicitedKind kind;
};

// "+CMT:" after "+CMTI:" would not matter (the colon decides), but the order keeps the most
// frequent codes of an SMS modem first.
constexpr Code PlusCodes[] = {
    {"+CMTI:", UnsolicitedKind::Cmti},
    {"+CMT:", UnsolicitedKind::Cmt},
    {"+CDSI:", UnsolicitedKind::Cdsi},
    {"+CDS:", UnsolicitedKind::Cds},
    {"+CRING:", UnsolicitedKind::Ring},
    {"+CLIP:", UnsolicitedKind::Clip},
    {"+CREG:", UnsolicitedKind::Creg},
    {"+CUSD:", UnsolicitedKind::Cusd},
};

} // namespace

AtLineClass AtLineClassifier::classify(QByteArrayView line)
{
    if (line.isEmpty())
        return {};
    switch (line.front()) {
    case 'O':
        if (line == "OK")
            return finalClass(FinalCode::Ok);
        break;
    case 'E':
        if (line == "ERROR")
            return finalClass(FinalCode::Error);
        break;
    case 'R':
        if (line == "RING")
            return unsolicitedClass(UnsolicitedKind::Ring);
        break;
    case 'N':
        if (line == "NO CARRIER")
            return finalClass(FinalCode::NoCarrier);
        if (line == "NO ANSWER")
            return finalClass(FinalCode::NoAnswer);
        // V.250 spells it NO DIALTONE; some phones write the two words apart.
        if (line == "NO DIALTONE" || line == "NO DIAL TONE")
            return finalClass(FinalCode::NoDialtone);
        break;
    case 'B':
        if (line == "BUSY")
            return finalClass(FinalCode::Busy);
        break;
    case 'C':
        if (line == "COMMAND NOT SUPPORT")
            return finalClass(FinalCode::CommandNotSupport);
        break;
    case '+':
        if (line.size() < 5)
            break;
        if (line.startsWith("+CME ERROR:"))
            return finalClass(FinalCode::CmeError, errorNumber(line.sliced(11), FinalCode::CmeError));
        if (line.startsWith("+CMS ERROR:"))
            return finalClass(FinalCode::CmsError, errorNumber(line.sliced(11), FinalCode::CmsError));
        for (const Code &code : PlusCodes) {
            if (line.startsWith(code.name))
                return unsolicitedClass(code.kind);
        }
        break;
    default:
        break;
    }
    return {};
}

int AtLineClassifier::errorNumber(QByteArrayView argument, FinalCode kind)
{
    argument = trimmed(argument);
    if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"')
        argument = trimmed(argument.sliced(1, argument.size() - 2));
    if (argument.isEmpty())
        return -1;
    bool digits = argument.size() <= 6;
    for (char c : argument)
        digits = digits && c >= '0' && c <= '9';
    if (digits) {
        int n = 0;
        for (char c : argument)
            n = n * 10 + (c - '0');
        return n;
    }
    if (kind != FinalCode::CmeError && kind != FinalCode::CmsError)
        return -1;
    const VerboseTables &tables = verboseTables();
    const auto &table = kind == FinalCode::CmeError ? tables.cme : tables.cms;
    return table.value(argument.toByteArray().toLower(), -1);
}

Unsolicited AtLineClassifier::unsolicited(const QByteArray &line, UnsolicitedKind kind)
{
    Unsolicited u;
    u.kind = kind;
    u.line = line;
    switch (kind) {
    case UnsolicitedKind::Clip: {
        const auto f = replies::fields(line, "+CLIP");
        if (!f.isEmpty())
            u.number = f.first();
        break;
    }
    case UnsolicitedKind::Cmti:
    case UnsolicitedKind::Cdsi: {
        const auto f = replies::fields(line, kind == UnsolicitedKind::Cmti ? "+CMTI" : "+CDSI");
        if (f.size() >= 2) {
            u.storage = f.at(0);
            u.index = replies::number(f, 1).value_or(-1);
        }
        break;
    }
    default:
        break;
    }
    return u;
}

bool AtLineClassifier::hasPrefix(QByteArrayView line, QByteArrayView prefix)
{
    if (prefix.isEmpty() || !line.startsWith(prefix))
        return false;
    if (prefix.back() == ':' || line.size() == prefix.size())
        return true;
    const char next = line.at(prefix.size());
    return next == ':' || next == ' ';
}

} // namespace pellix
