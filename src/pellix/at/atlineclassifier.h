// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atcommand.h"
#include "unsolicited.h"

#include <QByteArrayView>

namespace pellix {

// What one received line is, judged from the line alone.
struct AtLineClass
{
    enum class Kind : quint8 { Other, Final, Unsolicited };

    Kind kind = Kind::Other;
    FinalCode final = FinalCode::Ok;                         // Kind::Final
    int errorCode = -1;                                      // +CME/+CMS ERROR number, else -1
    UnsolicitedKind unsolicited = UnsolicitedKind::Unknown;  // Kind::Unsolicited

    bool isFinal() const { return kind == Kind::Final; }
    bool isUnsolicited() const { return kind == Kind::Unsolicited; }
    // +CMT and +CDS are followed by their PDU on a line of its own (TS 27.005 3.4.1).
    bool takesDataLine() const
    {
        return kind == Kind::Unsolicited
            && (unsolicited == UnsolicitedKind::Cmt || unsolicited == UnsolicitedKind::Cds);
    }
};

// The result-code table of the channel: final codes and the unsolicited codes it knows.
class AtLineClassifier
{
public:
    // line: one received line, leading and trailing blanks already removed.
    static AtLineClass classify(QByteArrayView line);

    // The number of a +CME/+CMS ERROR argument: digits, or a verbose text (+CMEE=2) found in the
    // 3GPP tables; -1 otherwise.
    static int errorNumber(QByteArrayView argument, FinalCode kind);

    // The unsolicited code with its fields read (number, storage, index). kind from classify().
    static Unsolicited unsolicited(const QByteArray &line, UnsolicitedKind kind);

    // Whether line starts with the response prefix ("+CSQ:" or "+CSQ"): a prefix without its
    // colon does not match a longer name ("+CMT" is not "+CMTI:").
    static bool hasPrefix(QByteArrayView line, QByteArrayView prefix);
};

} // namespace pellix
