// SPDX-License-Identifier: GPL-3.0-or-later
#include "fieldoptions.h"

#include <QCommandLineParser>
#include <QMap>

#include <algorithm>

using pellix::sim::FieldBehaviour;

FieldOptions::FieldOptions()
    : m_simBusy(QStringLiteral("sim-busy"),
                QStringLiteral("SIM busy (+CME ERROR: 14, +CMS ERROR: 314) for N seconds after power-up and PIN entry."),
                QStringLiteral("N"))
    , m_vendorNoise(QStringLiteral("vendor-noise"),
                    QStringLiteral("Vendor lines (^RSSI:, ^MODE:, +QIND:) at any moment, also between a header and its PDU."))
    , m_lateReply(QStringLiteral("late-reply"),
                  QStringLiteral("Answer the --late-command commands MS milliseconds late."), QStringLiteral("MS"))
    , m_lateCommand(QStringLiteral("late-command"),
                    QStringLiteral("A command answered late, by name (+CSQ); may be repeated."), QStringLiteral("CMD"))
    , m_strictCnmi(QStringLiteral("strict-cnmi"),
                   QStringLiteral("+CNMI takes store-and-indicate settings only (+CMS ERROR: 303 for the rest)."))
    , m_charsets(QStringLiteral("charsets"),
                 QStringLiteral("The +CSCS character sets offered, comma-separated (default GSM,IRA,UCS2)."),
                 QStringLiteral("LIST"))
    , m_emptyListError(QStringLiteral("empty-list-error"),
                       QStringLiteral("+CMGL on an empty storage answers +CMS ERROR: 321."))
    , m_stuckPrompt(QStringLiteral("stuck-prompt"), QStringLiteral("Start inside a +CMGS prompt."))
    , m_quiet(QStringLiteral("quiet"), QStringLiteral("Start in quiet mode (Q1, no result codes) with echo on."))
    , m_bootNoise(QStringLiteral("boot-noise"),
                  QStringLiteral("Boot lines (RDY, +CFUN: 1, Call Ready, SMS Ready) around the first answers."))
    , m_loseRouted(QStringLiteral("lose-routed"),
                   QStringLiteral("With +CNMI mt=2, a new message is acknowledged and lost when nobody listens."))
    , m_lateCount(QStringLiteral("late-count"),
                  QStringLiteral("Only the first N answers to the --late-command commands come late (default: all)."),
                  QStringLiteral("N"))
    , m_restartOn(QStringLiteral("restart-on"),
                  QStringLiteral("Restart on a command line holding CMD (+CMGS), which is lost; may be repeated. "
                                 "\"restart\" on stdin restarts at once."),
                  QStringLiteral("CMD"))
    , m_restartCount(QStringLiteral("restart-count"),
                     QStringLiteral("Only the first N --restart-on command lines restart the modem (default: all)."),
                     QStringLiteral("N"))
    , m_restartLines(QStringLiteral("restart-lines"),
                     QStringLiteral("What the modem says after a restart, ';'-separated (default "
                                    "\"RDY;+CFUN: 1;+CPIN: READY;Call Ready;SMS Ready;PB DONE\"; \"\" for nothing)."),
                     QStringLiteral("LIST"))
    , m_restartSilence(QStringLiteral("restart-silence"),
                       QStringLiteral("How long a restart keeps the modem deaf and mute (default 1500)."),
                       QStringLiteral("MS"))
    , m_storedTextMode(QStringLiteral("stored-text-mode"),
                       QStringLiteral("Offer text mode and keep +CMGF=1 in the stored profile: a restart comes back in it."))
    , m_simFull(QStringLiteral("sim-full"),
                QStringLiteral("The SIM's message storage starts full; new messages go to the phone memory (+CMTI: \"ME\",n)."))
    , m_lineSpeed(QStringLiteral("line-speed"),
                  QStringLiteral("Send at most BPS bytes per second (960 for 9600 baud; default: at once)."),
                  QStringLiteral("BPS"))
    , m_flood(QStringLiteral("flood"),
              QStringLiteral("Once the client asks for new-message indications, N messages arrive at once, pushed "
                             "without waiting for acknowledgements (+CMT routed, +CMTI stored)."),
              QStringLiteral("N"))
    , m_freezeAfter(QStringLiteral("freeze-after"),
                    QStringLiteral("S seconds after start the modem stops answering; the port stays open."),
                    QStringLiteral("S"))
    , m_restartSpread(QStringLiteral("restart-spread"),
                      QStringLiteral("The boot lines of a restart come MS apart (default: all at once)."),
                      QStringLiteral("MS"))
    , m_emptyRead(QStringLiteral("empty-read"),
                  QStringLiteral("What AT+CMGR answers for an empty place: error (+CMS ERROR: 321, the default), "
                                 "ok (OK alone) or header (+CMGR: 0,,0)."),
                  QStringLiteral("FORM"))
    , m_registration(QStringLiteral("registration"),
                     QStringLiteral("Where the modem registers: home (the default), roaming, searching, denied or none."),
                     QStringLiteral("STATE"))
    , m_noSmsc(QStringLiteral("no-smsc"),
               QStringLiteral("The SIM holds no SMS centre (+CSCA: \"\",129); a PDU naming none is refused (+CMS ERROR: 330)."))
    , m_storageFull(QStringLiteral("storage-full"),
                    QStringLiteral("The SIM's message storage starts full: writing answers +CMS ERROR: 322, new messages wait at the centre."))
    , m_noCnum(QStringLiteral("no-cnum"), QStringLiteral("The SIM holds no own number: AT+CNUM answers OK alone."))
    , m_ussd(QStringLiteral("ussd"),
             QStringLiteral("How USSD answers come: charset (in the +CSCS set, the default), silent (never), ucs2 "
                            "(UCS2 hex, dcs 72), packed (GSM 7-bit packed hex), text (plain) or notsupported "
                            "(+CUSD refused with +CME ERROR: 4)."),
             QStringLiteral("FORM"))
    , m_pinAttempts(QStringLiteral("pin-attempts"),
                    QStringLiteral("PIN attempts left at start, 0 to 3 (0: the SIM asks for the PUK); with --pin."),
                    QStringLiteral("N"))
    , m_ownNumber(QStringLiteral("own-number"),
                  QStringLiteral("The SIM's own number (+CNUM; messages to it come back). Default +3934811111111."),
                  QStringLiteral("NUMBER"))
    , m_imei(QStringLiteral("imei"), QStringLiteral("The modem's IMEI (+CGSN), 15 digits. Default 357920061482624."),
             QStringLiteral("N"))
{
}

void FieldOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_simBusy, m_vendorNoise, m_lateReply, m_lateCommand, m_strictCnmi, m_charsets,
                       m_emptyListError, m_stuckPrompt, m_quiet, m_bootNoise, m_loseRouted, m_lateCount,
                       m_restartOn, m_restartCount, m_restartLines, m_restartSilence, m_storedTextMode, m_simFull,
                       m_lineSpeed, m_flood, m_freezeAfter, m_restartSpread, m_emptyRead, m_registration,
                       m_noSmsc, m_storageFull, m_noCnum, m_ussd, m_pinAttempts, m_ownNumber, m_imei});
}

std::optional<FieldBehaviour> FieldOptions::read(const QCommandLineParser &parser, QString &error) const
{
    FieldBehaviour field;
    const auto number = [&](const QCommandLineOption &option, int &value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        value = parser.value(option).toInt(&ok);
        if (!ok || value < 0) {
            error = QStringLiteral("--%1 needs a whole number of 0 or more").arg(option.names().first());
            return false;
        }
        return true;
    };
    if (!number(m_simBusy, field.simBusySeconds) || !number(m_lateReply, field.lateReplyMs)
        || !number(m_lateCount, field.lateReplyCount) || !number(m_restartCount, field.restartCount)
        || !number(m_restartSilence, field.restartSilenceMs) || !number(m_lineSpeed, field.lineSpeed)
        || !number(m_flood, field.floodMessages) || !number(m_freezeAfter, field.freezeAfterSeconds)
        || !number(m_restartSpread, field.restartSpreadMs))
        return std::nullopt;
    if (parser.isSet(m_emptyRead)) {
        static const QMap<QString, FieldBehaviour::EmptyRead> Forms{{QStringLiteral("error"), FieldBehaviour::EmptyRead::Error},
                                                                    {QStringLiteral("ok"), FieldBehaviour::EmptyRead::Ok},
                                                                    {QStringLiteral("header"), FieldBehaviour::EmptyRead::Header}};
        const QString form = parser.value(m_emptyRead).trimmed().toLower();
        if (!Forms.contains(form)) {
            error = QStringLiteral("--empty-read takes error, ok or header, not %1").arg(parser.value(m_emptyRead));
            return std::nullopt;
        }
        field.emptyRead = Forms.value(form);
    }
    if (parser.isSet(m_registration)) {
        static const QMap<QString, FieldBehaviour::Registration> States{
            {QStringLiteral("home"), FieldBehaviour::Registration::Home},
            {QStringLiteral("roaming"), FieldBehaviour::Registration::Roaming},
            {QStringLiteral("searching"), FieldBehaviour::Registration::Searching},
            {QStringLiteral("denied"), FieldBehaviour::Registration::Denied},
            {QStringLiteral("none"), FieldBehaviour::Registration::None}};
        const QString state = parser.value(m_registration).trimmed().toLower();
        if (!States.contains(state)) {
            error = QStringLiteral("--registration takes home, roaming, searching, denied or none, not %1")
                        .arg(parser.value(m_registration));
            return std::nullopt;
        }
        field.registration = States.value(state);
    }
    if (parser.isSet(m_ussd)) {
        static const QMap<QString, FieldBehaviour::Ussd> Forms{{QStringLiteral("charset"), FieldBehaviour::Ussd::Charset},
                                                               {QStringLiteral("silent"), FieldBehaviour::Ussd::Silent},
                                                               {QStringLiteral("ucs2"), FieldBehaviour::Ussd::Ucs2},
                                                               {QStringLiteral("packed"), FieldBehaviour::Ussd::Packed},
                                                               {QStringLiteral("text"), FieldBehaviour::Ussd::Text},
                                                               {QStringLiteral("notsupported"), FieldBehaviour::Ussd::NotSupported}};
        const QString form = parser.value(m_ussd).trimmed().toLower();
        if (!Forms.contains(form)) {
            error = QStringLiteral("--ussd takes charset, silent, ucs2, packed, text or notsupported, not %1")
                        .arg(parser.value(m_ussd));
            return std::nullopt;
        }
        field.ussd = Forms.value(form);
    }
    if (parser.isSet(m_pinAttempts)) {
        bool ok = false;
        field.pinAttempts = parser.value(m_pinAttempts).toInt(&ok);
        if (!ok || field.pinAttempts < 0 || field.pinAttempts > 3) {
            error = QStringLiteral("--pin-attempts takes 0 to 3, not %1").arg(parser.value(m_pinAttempts));
            return std::nullopt;
        }
    }
    if (parser.isSet(m_ownNumber)) {
        field.ownNumber = parser.value(m_ownNumber).trimmed();
        const QString digits = field.ownNumber.startsWith(QLatin1Char('+')) ? field.ownNumber.mid(1) : field.ownNumber;
        if (digits.isEmpty() || digits.size() > 20
            || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); })) {
            error = QStringLiteral("--own-number takes a phone number of up to 20 digits, with an optional leading +, not %1")
                        .arg(parser.value(m_ownNumber));
            return std::nullopt;
        }
    }
    if (parser.isSet(m_imei)) {
        // 23.003 6.2.1: 14 digits and a check digit. The check digit is not verified: test IMEIs
        // and some field modems carry ones that do not add up.
        const QString imei = parser.value(m_imei).trimmed();
        if (imei.size() != 15
            || !std::all_of(imei.begin(), imei.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); })) {
            error = QStringLiteral("--imei takes 15 digits, not %1").arg(parser.value(m_imei));
            return std::nullopt;
        }
        field.imei = imei.toLatin1();
    }
    for (const QString &command : parser.values(m_lateCommand))
        field.lateCommands << command.trimmed().toUpper().toLatin1();
    for (const QString &command : parser.values(m_restartOn))
        field.restartOn << command.trimmed().toUpper().toLatin1();
    if (parser.isSet(m_restartLines)) {
        field.restartLines.clear();
        for (const QString &line : parser.value(m_restartLines).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QByteArray text = line.trimmed().toLatin1();
            if (std::any_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x20 || uchar(c) > 0x7e; })) {
                error = QStringLiteral("--restart-lines takes printable ASCII lines separated by ';'");
                return std::nullopt;
            }
            if (!text.isEmpty())
                field.restartLines << text;
        }
    }
    if (parser.isSet(m_charsets)) {
        field.charsets = parser.value(m_charsets).toUpper().toLatin1();
        for (const QByteArray &set : field.charsets.split(',')) {
            if (set != "GSM" && set != "IRA" && set != "UCS2") {
                error = QStringLiteral("--charsets takes GSM, IRA and UCS2, not %1").arg(QString::fromLatin1(set));
                return std::nullopt;
            }
        }
    }
    field.vendorNoise = parser.isSet(m_vendorNoise);
    field.strictCnmi = parser.isSet(m_strictCnmi);
    field.emptyListError = parser.isSet(m_emptyListError);
    field.stuckPrompt = parser.isSet(m_stuckPrompt);
    field.quiet = parser.isSet(m_quiet);
    field.bootNoise = parser.isSet(m_bootNoise);
    field.loseRoutedMessages = parser.isSet(m_loseRouted);
    field.storedTextMode = parser.isSet(m_storedTextMode);
    field.simFull = parser.isSet(m_simFull);
    field.noSmsc = parser.isSet(m_noSmsc);
    field.storageFull = parser.isSet(m_storageFull);
    field.noCnum = parser.isSet(m_noCnum);
    return field;
}
