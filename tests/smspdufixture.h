// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SMS PDUs against published ones that other codecs produced or captured: the dreamfabric
// tutorial, ModemManager's test-sms-part-3gpp.c, gammu's test dumps and encodings (python3-gammu
// 1.42 on Debian bookworm), and Nordic's AT+CMGS example. Each golden row names its source.
#include "pdu/pdubytes_p.h"
#include "pdu/smspdu.h"
#include "pellixerror.h"
#include "raisederrorcode.h"

#include <QtTest>

#include <optional>

using namespace pellix::pdu;
using pellix::ErrorCode;



#define EXPECT_ERROR(expected, expression)                                                 \
    do {                                                                                   \
        const auto e_ = raisedBy([&] { (void)(expression); });                             \
        QVERIFY2(e_, "no error raised by " #expression);                                   \
        QVERIFY2(e_->number() == code(expected), qPrintable(e_->description()));           \
    } while (false)

inline QDateTime iso(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

inline void compareTime(const QDateTime &actual, const QDateTime &expected)
{
    QCOMPARE(actual, expected);
    QCOMPARE(actual.offsetFromUtc(), expected.offsetFromUtc());
}

inline QByteArray hexOf(const QByteArray &bytes)
{
    return bytes.toHex().toUpper();
}

// The golden PDUs, for the truncation sweep as well.
const char *const DreamfabricDeliver = "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37";
const char *const MmPdu1 =
    "07912104442961F4040B916171957291F800001120821105050A6AC8B2BC7C9A83C220F6DB7D2ECB41EDF27C1E3E97411BDE06754FD3"
    "D1A0F9BB5D0695F1F4B29B5C2683C6E8B03C3CA697E5F34D6AE303D1D1F2F7DD0D4ABB59A0797D8C0685E7A00028EC26832A960B28EC"
    "2683BE6050780EBA97D96C17";
const char *const MmPdu2 = "07919730071111F10414D04937BD2C7797E9D3E614000811309291024061080442043504410442";
const char *const MmPdu3 = "07912143658709F1040B918100551512F20000111010214365000AE8329BFD4697D9EC37";
const char *const MmDcsF1 =
    "07913306091093F0040485810000F111604231805180A049B7F90D9A1AA5A01668F8769BD3E4B29B9E2EB359A03FC85D06A9C3ED707A"
    "0EA2CBC3EE79BB4CA7CBCBA05643617DA7C76990FD4D979741EE77DD5E0ED741ED371D442E83E0E1F9BC0CD281E677D9B84C06C1DF75"
    "39E85C9097E520FB9B2E2F83C6EF369C5E064D8D52D0BC2E07DDEF77D7DC2C7799E5A0771D040FCB41F402BB0047BFDD6550B80ECAD966";
const char *const MmUdhi =
    "07911356131313F64004850120390011609232239180A006080400100201D7327BFD6EB340E2321BF46E83EA7790F59D1E97DBE1341B"
    "442F83C465763D3DA797E56537C81D0ECB41AB59CC1693C16031D96C064241E5656838AF03A96230982A269BCD462917C8FA4E8FCBED"
    "709A0D7ABBE9F6B0FB5C7683D27350984D4FABC9A0B33C4C4FCF5D20EBFB2D079DCB62793DBD06D9C36E50FB2D4E97D9A0B49B5E96BBCB";
const char *const MmMultipart1 =
    "07912160130320F5440B916171056429F5000021405291650569A00500034C0201A9E8F41C949E83C2207B599E07B1DFEE33885E9ED3"
    "41E4F23C7D7697C920FA1B54C697E5E3F4BC0C6AD7D9F434081E96D341E3303C2C4EB3D3F4BC0B94A483E6E8779D4D06CDD1EF3BA80E"
    "0785E7A0B7BB0C6A97E7F3F0B9CC02B9DF7450780EA2DFDF2C50780EA2A3CBA0BA9B5C96B3F369F71954768FDFE4B4FB0C9297E1F2F2"
    "BCECA6CF41";
const char *const NordicSubmit =
    "069144888888F811000C9153481032547600000B20D4F29C9E769F4161D0BC3D07B5CBF379F89C769F416F7B590E62D3CB";
const char *const MmStoredSubmit =
    "002100098136397339F70008224F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60597D4F60";
const char *const GammuSubmitSrr4Days = "0031000D91934318111111F10000AA05C8329BFD06";
const char *const GammuSubmitClass0 = "0011000D91934318111111F100F0FF05C8329BFD06";
const char *const GammuSubmitConcat = "018151000D91934318111111F10000FF0C050003070302906536FB0D";
const char *const GammuStatusReport = "07914875215652F006360B914892347527F3817003018104808170030181448000";
const char *const MmStatusReport = "07914356060013F1065A098136397339F7219011700463802190117004638030";

const QString MmPdu1Text = QStringLiteral("Here's a longer message [{with some extended characters}] "
                                          "thrown in, such as £ and ΩΠΨ and §¿ as well.");
const QString MmDcsF1Text = QStringLiteral("Info SFR - Confidentiel, à ne jamais transmettre -\r\n"
                                           "Voici votre nouveau mot de passe : sw2ced pour gérer "
                                           "votre compte SFR sur www.sfr.fr ou par téléphone au 963");
const QString MmUdhiText = QStringLiteral("Welkom, bel om uw Voicemail te beluisteren naar +31612001233"
                                          " (PrePay: *100*1233#). Voicemail ontvangen is altijd gratis."
                                          " Voor gebruik van mobiel interne");
const QString MmMultipartText = QStringLiteral("This is a very long test designed to exercise multi part capability. It should "
                                               "show up as one message, not as two, as the underlying encoding represents ");

inline SubmitPdu submitTo(const QString &destination, const QString &text, int alphabet = Gsm7)
{
    SubmitPdu pdu;
    pdu.destination = destination;
    pdu.text = text;
    pdu.alphabet = alphabet;
    return pdu;
}
