// SPDX-License-Identifier: GPL-3.0-or-later
// Cross-check against libgammu through python3-gammu, an independent PDU codec: messages drawn
// from a fixed seed are encoded here and read by gammu, and encoded by gammu and read here; both
// must agree field by field. One python process answers the whole batch (oracle/gammu_crosscheck.py).
#include "pdu/gsmalphabet.h"
#include "pdu/smspdu.h"
#include "pellixerror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

using namespace pellix::pdu;

namespace {

// Every character of the default alphabet and its extension table (the escape itself excluded).
const QString Gsm7Pool = QStringLiteral("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                                        "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"
                                        "\f^{}\\[~]|€");
const QString Ucs2Pool = QStringLiteral("aZ09 .жшщЖЯ中文字漢αβγ€ñüÅ\U0001F600\U0001F44D\U00010348");

struct Random
{
    std::mt19937 engine{0x6A33u};
    // Modulo of the raw output: the same sequence on every standard library.
    int below(int n) { return n <= 0 ? 0 : int(engine() % quint32(n)); }
    bool chance(int percent) { return below(100) < percent; }
    QString digits(int minimum, int maximum)
    {
        QString s;
        const int n = minimum + below(maximum - minimum + 1);
        for (int i = 0; i < n; ++i)
            s += QChar(u'0' + below(10));
        return s;
    }
    // Characters from pool until the next one would pass the budget of units (septets or
    // UCS-2 code units) that measure() counts.
    template <typename Measure>
    QString text(const QString &pool, int budget, Measure measure)
    {
        QString s;
        const int target = below(budget + 1);
        for (int guard = 0; guard < 4 * budget + 8; ++guard) {
            int at = below(int(pool.size()));
            QString c = pool.mid(at, 1);
            if (c.at(0).isLowSurrogate())
                c = pool.mid(at - 1, 2);
            else if (c.at(0).isHighSurrogate())
                c = pool.mid(at, 2);
            if (measure(s + c) > target)
                break;
            s += c;
        }
        return s;
    }
};

int septets(const QString &s)
{
    return gsm7Length(s);
}

int units(const QString &s)
{
    return int(s.size());
}

const char *gammuCoding(int alphabet)
{
    return alphabet == Gsm7 ? "Default_No_Compression" : alphabet == Bit8 ? "8bit" : "Unicode_No_Compression";
}

int alphabetOf(const QString &coding)
{
    if (coding == QLatin1String("8bit"))
        return Bit8;
    return coding.startsWith(QLatin1String("Unicode")) ? Ucs2 : Gsm7;
}

// gammu's validity strings: "<n>M", "<n>D", "<n>W", "Max" (63 weeks), "NA" (none).
int gammuMinutes(const QString &validity)
{
    if (validity == QLatin1String("NA"))
        return -1;
    if (validity == QLatin1String("Max"))
        return 63 * 10080;
    const int n = validity.chopped(1).toInt();
    switch (validity.back().unicode()) {
    case u'M': return n;
    case u'H': return n * 60;
    case u'D': return n * 1440;
    case u'W': return n * 10080;
    default: return -2;
    }
}

QByteArray headerFor(Random &r, int kind)
{
    const quint8 total = quint8(2 + r.below(6));
    const quint8 part = quint8(1 + r.below(total));
    switch (kind) {
    case 1: return QByteArray::fromHex("050003") + char(r.below(256)) + char(total) + char(part);
    case 2: return QByteArray::fromHex("060804") + char(r.below(256)) + char(r.below(256)) + char(total) + char(part);
    case 3: return QByteArray::fromHex("06050423F50000");
    default:
        // Ports and concatenation in one header, as WAP push parts carry them.
        return QByteArray::fromHex("0B05040B8423F00003") + char(r.below(256)) + char(total) + char(part);
    }
}

struct OurCase
{
    QString name;
    SubmitPdu pdu;
    EncodedPdu encoded;
};

struct GammuCase
{
    QString name;
    bool deliver = false;
    QString number;
    QString smsc;
    int alphabet = Gsm7;
    QString text;        // 8-bit: one character per octet
    QByteArray udh;
    int messageClass = -1;
    QString validity;    // gammu's string
    bool srr = false;
    int mr = 0;
    QDateTime when;
    QJsonObject request() const
    {
        QJsonObject o{{"layout", deliver ? "Deliver" : "Submit"}, {"number", number}, {"smsc", smsc},
                      {"coding", gammuCoding(alphabet)}, {"class", messageClass}, {"validity", validity},
                      {"srr", srr}, {"mr", mr}, {"udh_hex", QString::fromLatin1(udh.toHex())}};
        if (alphabet == Bit8)
            o.insert("data", QString::fromLatin1(text.toLatin1().toHex()));
        else
            o.insert("text", text);
        if (deliver)
            o.insert("datetime", when.toString(Qt::ISODate));
        return o;
    }
};

} // namespace

class TestPduOracle : public QObject
{
    Q_OBJECT

    QList<OurCase> m_ours;
    QList<GammuCase> m_theirs;
    QStringList m_longTexts;
    QList<QList<EncodedPdu>> m_ourLong;
    QJsonArray m_decoded;      // gammu's reading of m_ours, then of every part of m_ourLong
    QJsonArray m_encoded;      // gammu's PDUs for m_theirs
    QJsonArray m_encodedLong;  // gammu's parts for m_longTexts

    void generate()
    {
        Random r;
        for (int i = 0; i < 240; ++i) {
            OurCase c;
            SubmitPdu &p = c.pdu;
            p.alphabet = i % 3 == 0 ? Gsm7 : i % 3 == 1 ? Ucs2 : Bit8;
            p.destination = r.chance(60) ? QLatin1Char('+') + r.digits(6, 15) : r.digits(3, 12);
            if (r.chance(40))
                p.smsc = QLatin1Char('+') + r.digits(8, 12);
            if (r.chance(35))
                p.udh = headerFor(r, 1 + r.below(4));
            p.messageClass = r.below(5) - 1;
            if (r.chance(80)) {
                static const int scale[] = {5, 60, 720, 1440, 10080, 43200, 635040, 2'000'000};
                const int upper = scale[r.below(8)];
                p.validityMinutes = r.below(upper + 1);
            }
            p.statusReportRequest = r.chance(50);
            p.messageReference = quint8(r.below(256));
            const int room = p.alphabet == Gsm7 ? 160 - int(p.udh.size() * 8 + 6) / 7
                                                : int(140 - p.udh.size()) / (p.alphabet == Ucs2 ? 2 : 1);
            if (p.alphabet == Gsm7) {
                p.text = r.text(Gsm7Pool, room, septets);
            } else if (p.alphabet == Ucs2) {
                p.text = r.text(Ucs2Pool, room, units);
            } else {
                const int n = r.below(room + 1);
                for (int k = 0; k < n; ++k)
                    p.text += QChar(r.below(256));
            }
            c.encoded = encodeSubmit(p);
            c.name = QStringLiteral("ours %1: alphabet %2, %3 chars, class %4, udh %5, vp %6, srr %7")
                         .arg(i).arg(p.alphabet).arg(p.text.size()).arg(p.messageClass)
                         .arg(QString::fromLatin1(p.udh.toHex()))
                         .arg(p.validityMinutes ? QString::number(*p.validityMinutes) : QStringLiteral("none"))
                         .arg(p.statusReportRequest);
            m_ours.append(c);
        }

        static const char *const validities[] = {"5M", "30M", "1H", "6H", "12H", "13H", "1D", "2D", "4D", "7D", "14D", "30D", "Max"};
        for (int i = 0; i < 200; ++i) {
            GammuCase c;
            c.deliver = i % 5 >= 3;
            c.alphabet = i % 3 == 0 ? Gsm7 : i % 3 == 1 ? Ucs2 : Bit8;
            const int numberKind = r.below(c.deliver ? 3 : 2);
            if (numberKind == 0)
                c.number = QLatin1Char('+') + r.digits(6, 15);
            else if (numberKind == 1)
                c.number = QLatin1Char('1') + r.digits(2, 11);   // libgammu turns a leading 00 into '+'
            else
                c.number = r.text(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"), 10, septets) + QLatin1Char('X');
            if (r.chance(50))
                c.smsc = QLatin1Char('+') + r.digits(8, 12);
            // libgammu 1.42 writes too few fill bits behind a header of 8 octets or more in 7-bit
            // text (and then misreads its own PDU), so the 12-octet header goes with 8-bit and UCS-2.
            if (r.chance(35))
                c.udh = headerFor(r, 1 + r.below(c.alphabet == Gsm7 ? 3 : 4));
            c.messageClass = r.below(5) - 1;
            c.validity = QLatin1String(validities[r.below(13)]);
            c.srr = r.chance(50);
            c.mr = r.below(256);
            c.when = QDateTime(QDate(2000 + r.below(90), 1 + r.below(12), 1 + r.below(28)),
                               QTime(r.below(24), r.below(60), r.below(60)), Qt::UTC);
            const int room = c.alphabet == Gsm7 ? 160 - int(c.udh.size() * 8 + 6) / 7
                                                : int(140 - c.udh.size()) / (c.alphabet == Ucs2 ? 2 : 1);
            if (c.alphabet == Gsm7) {
                c.text = r.text(Gsm7Pool, room, septets);
            } else if (c.alphabet == Ucs2) {
                c.text = r.text(Ucs2Pool, room, units);
            } else {
                const int n = r.below(room + 1);
                for (int k = 0; k < n; ++k)
                    c.text += QChar(r.below(256));
            }
            c.name = QStringLiteral("gammu %1: %2, alphabet %3, %4 chars, class %5, udh %6, number %7")
                         .arg(i).arg(QLatin1String(c.deliver ? "deliver" : "submit")).arg(c.alphabet)
                         .arg(c.text.size()).arg(c.messageClass).arg(QString::fromLatin1(c.udh.toHex()), c.number);
            m_theirs.append(c);
        }

        for (int i = 0; i < 24; ++i) {
            // Lengths around the part boundaries, escape pairs included.
            const int target = i < 6 ? 150 + 3 * i : 161 + r.below(1200);
            QString text;
            while (gsm7Length(text) < target) {
                const QString more = Gsm7Pool.mid(r.below(int(Gsm7Pool.size())), 1);
                if (gsm7Length(text + more) > target)
                    break;
                text += more;
            }
            m_longTexts.append(text);
            SubmitPdu base;
            base.destination = QStringLiteral("+3934811111111");
            base.text = text;
            base.statusReportRequest = i % 2;
            m_ourLong.append(encodeLongSubmit(base, quint8(i * 7)));
        }
    }

    QJsonObject runOracle(const QJsonObject &request)
    {
        QTemporaryDir dir;
        if (!dir.isValid())
            return {};
        const QString in = dir.filePath(QStringLiteral("request.json"));
        const QString out = dir.filePath(QStringLiteral("answer.json"));
        QFile file(in);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(QJsonDocument(request).toJson(QJsonDocument::Compact));
        file.close();
        QProcess python;
        python.start(QStringLiteral(PELLIX_ORACLE_PYTHON), {QStringLiteral(PELLIX_ORACLE_SCRIPT), in, out});
        if (!python.waitForStarted(10000)) {
            m_failure = QStringLiteral("cannot start %1: %2").arg(QStringLiteral(PELLIX_ORACLE_PYTHON), python.errorString());
            return {};
        }
        python.waitForFinished(240000);
        if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
            m_failure = QStringLiteral("the gammu oracle failed (exit %1): %2")
                            .arg(python.exitCode())
                            .arg(QString::fromUtf8(python.readAllStandardError()).trimmed());
            return {};
        }
        QFile answer(out);
        if (!answer.open(QIODevice::ReadOnly)) {
            m_failure = QStringLiteral("the gammu oracle wrote no answer");
            return {};
        }
        return QJsonDocument::fromJson(answer.readAll()).object();
    }

    QString m_failure;

private Q_SLOTS:
    void initTestCase()
    {
        try {
            generate();
        } catch (const RaisedError &e) {
            QFAIL(qPrintable(QStringLiteral("our codec refused a generated message: %1").arg(e.description())));
        }
        QJsonArray decode;
        for (const auto &c : m_ours)
            decode.append(QJsonObject{{"hex", QString::fromLatin1(c.encoded.hex)}});
        for (const auto &parts : m_ourLong) {
            for (const auto &p : parts)
                decode.append(QJsonObject{{"hex", QString::fromLatin1(p.hex)}});
        }
        QJsonArray encode;
        for (const auto &c : m_theirs)
            encode.append(c.request());
        QJsonArray encodeLong;
        for (const auto &t : m_longTexts)
            encodeLong.append(QJsonObject{{"text", t}, {"number", "+3934811111111"}});

        const QJsonObject answer = runOracle(QJsonObject{{"decode", decode}, {"encode", encode}, {"encode_long", encodeLong}});
        // python3-gammu missing is a failure, never a skip: scripts/test installs it and CI runs it.
        if (answer.isEmpty())
            QFAIL(qPrintable(m_failure.isEmpty() ? QStringLiteral("the gammu oracle gave no answer") : m_failure));
        m_decoded = answer.value(QLatin1String("decode")).toArray();
        m_encoded = answer.value(QLatin1String("encode")).toArray();
        m_encodedLong = answer.value(QLatin1String("encode_long")).toArray();
        QCOMPARE(m_decoded.size(), decode.size());
        QCOMPARE(m_encoded.size(), encode.size());
        QCOMPARE(m_encodedLong.size(), encodeLong.size());
        qInfo("libgammu %s: %lld of our PDUs to read, %lld of its to read back",
              qPrintable(answer.value(QLatin1String("gammu")).toString()), qlonglong(decode.size()), qlonglong(encode.size()));
    }

    void ourEncodingReadByGammu_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < m_ours.size(); ++i)
            QTest::newRow(qPrintable(m_ours[i].name)) << i;
    }
    void ourEncodingReadByGammu()
    {
        QFETCH(int, index);
        const SubmitPdu &p = m_ours[index].pdu;
        const QJsonObject g = m_decoded.at(index).toObject();
        QVERIFY2(g.value(QLatin1String("ok")).toBool(), qPrintable(g.value(QLatin1String("error")).toString()));
        QCOMPARE(g.value(QLatin1String("type")).toString(), QStringLiteral("Submit"));
        QCOMPARE(g.value(QLatin1String("number")).toString(), p.destination);
        QCOMPARE(g.value(QLatin1String("smsc")).toString(), p.smsc);
        QCOMPARE(alphabetOf(g.value(QLatin1String("coding")).toString()), p.alphabet);
        QCOMPARE(g.value(QLatin1String("class")).toInt(), p.messageClass);
        if (p.alphabet == Bit8)
            QCOMPARE(g.value(QLatin1String("data")).toString(), QString::fromLatin1(p.text.toLatin1().toHex().toUpper()));
        else
            QCOMPARE(g.value(QLatin1String("text")).toString(), p.text);
        const int expectedMinutes = p.validityMinutes ? relativeToMinutes(validityToRelative(*p.validityMinutes)) : -1;
        QCOMPARE(gammuMinutes(g.value(QLatin1String("validity")).toString()), expectedMinutes);
        QCOMPARE(g.value(QLatin1String("udh_hex")).toString(), QString::fromLatin1(p.udh.toHex().toUpper()));
        const auto concat = concatenation(p.udh);
        QCOMPARE(g.contains(QLatin1String("concat")), bool(concat));
        if (concat) {
            const QJsonObject gc = g.value(QLatin1String("concat")).toObject();
            QCOMPARE(gc.value(concat->reference16 ? QLatin1String("ref16") : QLatin1String("ref8")).toInt(), concat->reference);
            QCOMPARE(gc.value(QLatin1String("part")).toInt(), concat->sequence);
            QCOMPARE(gc.value(QLatin1String("of")).toInt(), concat->total);
        }
        const int fo = g.value(QLatin1String("fo")).toInt();
        QCOMPARE(bool(fo & 0x20), p.statusReportRequest);
        QCOMPARE((fo >> 3) & 3, p.validityMinutes ? 2 : 0);
        QCOMPARE(g.value(QLatin1String("mr")).toInt(), int(p.messageReference));
    }

    void ourLongMessagesReadByGammu_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("offset");   // of its first part in m_decoded
        int offset = int(m_ours.size());
        for (int i = 0; i < m_ourLong.size(); ++i) {
            QTest::addRow("long %d: %d septets, %d parts", i, gsm7Length(m_longTexts[i]), int(m_ourLong[i].size()))
                << i << offset;
            offset += int(m_ourLong[i].size());
        }
    }
    void ourLongMessagesReadByGammu()
    {
        QFETCH(int, index);
        QFETCH(int, offset);
        const QList<EncodedPdu> &parts = m_ourLong[index];
        QString joined;
        for (int k = 0; k < parts.size(); ++k) {
            const QJsonObject g = m_decoded.at(offset + k).toObject();
            QVERIFY2(g.value(QLatin1String("ok")).toBool(), qPrintable(g.value(QLatin1String("error")).toString()));
            joined += g.value(QLatin1String("text")).toString();
            QCOMPARE(bool(g.value(QLatin1String("fo")).toInt() & 0x20), bool(index % 2));
            if (parts.size() == 1) {
                QCOMPARE(g.value(QLatin1String("udh_type")).toString(), QStringLiteral("NoUDH"));
                continue;
            }
            const QJsonObject gc = g.value(QLatin1String("concat")).toObject();
            QCOMPARE(gc.value(QLatin1String("ref8")).toInt(), (index * 7) & 0xFF);
            QCOMPARE(gc.value(QLatin1String("part")).toInt(), k + 1);
            QCOMPARE(gc.value(QLatin1String("of")).toInt(), int(parts.size()));
        }
        QCOMPARE(joined, m_longTexts[index]);
    }

    void gammuEncodingReadByUs_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < m_theirs.size(); ++i)
            QTest::newRow(qPrintable(m_theirs[i].name)) << i;
    }
    void gammuEncodingReadByUs()
    {
        QFETCH(int, index);
        const GammuCase &c = m_theirs[index];
        const QJsonObject g = m_encoded.at(index).toObject();
        QVERIFY2(g.value(QLatin1String("ok")).toBool(), qPrintable(g.value(QLatin1String("error")).toString()));
        const QByteArray hex = g.value(QLatin1String("hex")).toString().toLatin1();
        const auto concat = concatenation(c.udh);
        if (c.deliver) {
            QCOMPARE(pduType(hex), PduType::Deliver);
            const DeliverPdu d = decodeDeliver(hex);
            QCOMPARE(d.originator.number, c.number);
            QCOMPARE(d.smsc.number, c.smsc);
            QCOMPARE(d.dcs.alphabet, c.alphabet);
            QCOMPARE(d.dcs.messageClass, c.messageClass);
            QCOMPARE(d.text, c.text);
            QCOMPARE(d.udh, c.udh);
            // libgammu writes the zone octet as 00 and the local time as given.
            QCOMPARE(d.timestamp, c.when);
            QCOMPARE(d.timestamp.offsetFromUtc(), 0);
            QCOMPARE(bool(concatenation(d.udh)), bool(concat));
            return;
        }
        QCOMPARE(pduType(hex), PduType::Submit);
        const SubmitPdu s = decodeSubmit(hex);
        QCOMPARE(s.destination, c.number);
        QCOMPARE(s.smsc, c.smsc);
        QCOMPARE(s.alphabet, c.alphabet);
        QCOMPARE(s.messageClass, c.messageClass);
        QCOMPARE(s.text, c.text);
        QCOMPARE(s.udh, c.udh);
        QCOMPARE(s.statusReportRequest, c.srr);
        QCOMPARE(int(s.messageReference), c.mr);
        QCOMPARE(s.validityMinutes.value_or(-1), gammuMinutes(c.validity));
        if (concat) {
            const auto ours = concatenation(s.udh);
            QVERIFY(ours);
            QCOMPARE(ours->reference, concat->reference);
            QCOMPARE(ours->sequence, concat->sequence);
        }
    }

    void gammuLongMessagesReadByUs_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < m_longTexts.size(); ++i)
            QTest::addRow("long %d: %d septets", i, gsm7Length(m_longTexts[i])) << i;
    }
    void gammuLongMessagesReadByUs()
    {
        QFETCH(int, index);
        const QJsonObject g = m_encodedLong.at(index).toObject();
        QVERIFY2(g.value(QLatin1String("ok")).toBool(), qPrintable(g.value(QLatin1String("error")).toString()));
        const QJsonArray parts = g.value(QLatin1String("parts")).toArray();
        // Both split at the same septets, so the part counts agree too.
        QCOMPARE(parts.size(), m_ourLong[index].size());
        QString joined;
        for (int k = 0; k < parts.size(); ++k) {
            const SubmitPdu s = decodeSubmit(parts.at(k).toString().toLatin1());
            joined += s.text;
            QCOMPARE(s.destination, QStringLiteral("+3934811111111"));
            if (parts.size() > 1) {
                const auto c = concatenation(s.udh);
                QVERIFY(c);
                QCOMPARE(c->sequence, k + 1);
                QCOMPARE(c->total, int(parts.size()));
            }
        }
        QCOMPARE(joined, m_longTexts[index]);
    }
};

QTEST_GUILESS_MAIN(TestPduOracle)
#include "tst_pduoracle.moc"
