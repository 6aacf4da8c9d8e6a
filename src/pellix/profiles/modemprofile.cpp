// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemprofile.h"

#include "pellixerror.h"
#include "pellixini.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <array>
#include <optional>

namespace pellix {
namespace {

// One row of the profile table. Fields left out keep the defaults of ModemProfile.
struct ProfileRow
{
    qint32 code = 0;
    const char *name = "";
    qint32 baudRate = 115200;
    std::array<const char *, 3> init{};
    std::array<const char *, 2> optionalInit{};
    bool echo = false;
    bool slowWrite = false;
    const char *messageStorage = "SM";
    const char *writeStorage = "SM";
    const char *receiveStorage = "SM";
    const char *reportStorage = "SM";
    const char *cnmiLive = "2,2,0,1,0";
    const char *cnmiStored = "2,1,0,2,0";
    bool cnmaRequired = false;
    const char *phonebookStorage = "SM";
    int cmeeMode = 1;
    bool cpinWithoutOk = false;
    bool cpmsWithoutOk = false;
    bool cgmrUnsupported = false;
    bool identitySpaces = false;
    int commandTimeoutMs = 5000;
    int listTimeoutMs = 30000;
};

// The modem types of the console's list, in its order. Sources of the choices:
//  - +CNMI mode 2 everywhere: the one mode Wavecom honours (its manual: other modes are accepted
//    but behave as 2) and the one gammu and python-gsmmodem use.
//  - Phones answering "+CNMI: (2),(0-1,3),(0,2),(0-1),(0)" or "(0-2),(0,1,3),(0),(0,1),(0,1)"
//    (gammu tests/at-cnmi) have neither mt=2 nor ds=2: they get mt=1 and routed reports (ds=1).
//  - Siemens documents bfr=1 only (L55 AT command set, +CNMI) and the "MT" storage (ME+SM).
//  - Motorola phones answer +CPMS=? with ("MT","IM","OM","BM","DM"),("OM","DM"),("IM"): read
//    from MT, write to the outbox OM, receive into the inbox IM.
//  - Wavecom: +CPIN? without OK and identity answers with a leading space (" WAVECOM MODEM"),
//    +CGMR refused (python-gsmmodem fakemodems); +CPMS offers "SR" for reports; early firmware
//    has ds 0..1 only.
//  - Telit-based modems (Teltonika) store status reports in "SM" (+CDSI: "SM",n).
//  - gammu talks to AT phones at 19200 baud and writes slowly to older ones (F_SLOWWRITE).
//  - Nokia phones keep received messages in phone memory ("ME") and save submitted ones on the
//    SIM only (gammu F_SUBMIT_SIM_ONLY); S60 phones show only the SIM storage over AT.
constexpr ProfileRow Rows[] = {
    {.code = -1, .name = "No modem (use simulator)", .reportStorage = "SR",
     .commandTimeoutMs = 2000, .listTimeoutMs = 10000},
    {.code = 1, .name = "Audiotel"},
    {.code = 10, .name = "Digicom"},
    {.code = 5, .name = "Falcom", .reportStorage = "SR", .cnmiStored = "2,1,0,1,0",
     .cpinWithoutOk = true, .identitySpaces = true},
    {.code = 15, .name = "Huawei", .reportStorage = "SR"},
    {.code = 8, .name = "Motorola", .optionalInit = {"AT+MODE=2"},
     .messageStorage = "MT", .writeStorage = "OM", .receiveStorage = "IM", .reportStorage = "MT",
     .cnmiStored = "2,1,0,1,0", .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 3, .name = "Nokia old phones (Nokia OS)", .baudRate = 19200, .echo = true, .slowWrite = true,
     .cnmiLive = "2,1,0,0,0", .cnmiStored = "2,1,0,0,0", .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 40, .name = "Nokia Series 40 (DP 1.0/2.0)", .echo = true, .slowWrite = true,
     .messageStorage = "ME", .writeStorage = "SM", .receiveStorage = "ME", .reportStorage = "ME",
     .cnmiLive = "2,1,0,1,0", .cnmiStored = "2,1,0,1,0", .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 41, .name = "Nokia Series 40 1st Edition", .echo = true, .slowWrite = true,
     .messageStorage = "ME", .writeStorage = "SM", .receiveStorage = "ME", .reportStorage = "ME",
     .cnmiLive = "2,1,0,1,0", .cnmiStored = "2,1,0,1,0", .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 42, .name = "Nokia Series 40 2nd Edition",
     .messageStorage = "ME", .writeStorage = "SM", .receiveStorage = "ME", .reportStorage = "ME",
     .cnmiStored = "2,1,0,1,0", .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 43, .name = "Nokia Series 40 3rd Edition",
     .messageStorage = "ME", .writeStorage = "SM", .receiveStorage = "ME", .reportStorage = "ME",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 45, .name = "Nokia Series 40 5th Edition",
     .messageStorage = "ME", .writeStorage = "SM", .receiveStorage = "ME", .reportStorage = "ME",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 46, .name = "Nokia Series 40 6th Edition",
     .messageStorage = "ME", .writeStorage = "SM", .receiveStorage = "ME", .reportStorage = "ME",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 61, .name = "Nokia S60 1st Edition", .cnmiLive = "2,1,0,0,0", .cnmiStored = "2,1,0,0,0",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 62, .name = "Nokia S60 2nd Edition", .cnmiLive = "2,1,0,0,0", .cnmiStored = "2,1,0,0,0",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 63, .name = "Nokia S60 3rd Edition", .cnmiLive = "2,1,0,1,0", .cnmiStored = "2,1,0,1,0",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 65, .name = "Nokia S60 5th Edition", .cnmiLive = "2,1,0,1,0", .cnmiStored = "2,1,0,1,0",
     .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 4, .name = "Siemens", .baudRate = 19200,
     .messageStorage = "MT", .writeStorage = "MT", .receiveStorage = "MT", .reportStorage = "SR",
     .cnmiLive = "2,2,0,1,1", .cnmiStored = "2,1,0,2,1"},
    {.code = 7, .name = "Sony Ericsson",
     .messageStorage = "ME", .writeStorage = "ME", .receiveStorage = "ME", .reportStorage = "ME",
     .cnmiLive = "2,1,0,1,0", .cnmiStored = "2,1,0,1,0", .commandTimeoutMs = 10000, .listTimeoutMs = 60000},
    {.code = 12, .name = "Teltonika"},
    {.code = 2, .name = "Wavecom", .reportStorage = "SR", .cnmiStored = "2,1,0,1,0",
     .cpinWithoutOk = true, .cgmrUnsupported = true, .identitySpaces = true},
};

constexpr qint32 IniProfileCode = 0;
constexpr char IniProfileName[] = "Others (profile in Pellix.ini)";
constexpr char ModemSection[] = "Modem";

ModemProfile fromRow(const ProfileRow &row)
{
    ModemProfile p;
    p.code = row.code;
    p.name = QString::fromLatin1(row.name);
    p.baudRate = row.baudRate;
    for (const char *line : row.init)
        if (line)
            p.initCommands.append(QByteArray(line));
    for (const char *line : row.optionalInit)
        if (line)
            p.optionalInitCommands.append(QByteArray(line));
    p.echo = row.echo;
    p.slowWrite = row.slowWrite;
    p.messageStorage = row.messageStorage;
    p.writeStorage = row.writeStorage;
    p.receiveStorage = row.receiveStorage;
    p.reportStorage = row.reportStorage;
    p.cnmiLive = row.cnmiLive;
    p.cnmiStored = row.cnmiStored;
    p.cnmaRequired = row.cnmaRequired;
    p.phonebookStorage = row.phonebookStorage;
    p.cmeeMode = row.cmeeMode;
    p.cpinWithoutOk = row.cpinWithoutOk;
    p.cpmsWithoutOk = row.cpmsWithoutOk;
    p.cgmrUnsupported = row.cgmrUnsupported;
    p.identitySpaces = row.identitySpaces;
    p.commandTimeoutMs = row.commandTimeoutMs;
    p.listTimeoutMs = row.listTimeoutMs;
    return p;
}

// ---------------------------------------------------------------------------------------------
// [Modem] of Pellix.ini

constexpr char Example[] = "e.g. \"[Modem]\", \"Name=My modem\", \"Init1=AT&F\" (see the help topic \"Modem types and "
                       "Pellix.ini profiles\")";

QString fileName(const PellixIni &ini)
{
    return ini.path().isEmpty() ? QStringLiteral("Pellix.ini") : ini.path();
}

QString missingFileText(const PellixIni &ini)
{
    // Where to create it: the user's configuration folder is looked at first and is writable.
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Pellix/Pellix.ini");
    QString where = user;
    if (!ini.path().isEmpty() && ini.path() != user)
        where += QStringLiteral(" (or %1)").arg(ini.path());
    return QStringLiteral("no Pellix.ini found; modem type 0 takes its profile from the [Modem] section of "
                          "Pellix.ini: create %1 with %2")
        .arg(where, QLatin1String(Example));
}

class IniReader
{
public:
    explicit IniReader(const PellixIni &ini)
        : m_ini(ini)
    {
    }

    [[noreturn]] void fail(const QString &key, const QString &value, const QString &expected) const
    {
        raise(ErrorCode::ProfileError, QStringLiteral("[%1] %2=%3 in %4: %5")
                                           .arg(QLatin1String(ModemSection), key, value, fileName(m_ini), expected));
    }

    std::optional<QString> take(const QString &key) const
    {
        return m_ini.value(QLatin1String(ModemSection), key);
    }

    void readBool(const QString &key, bool &out) const
    {
        const auto v = take(key);
        if (!v)
            return;
        const QString s = v->toLower();
        if (s == QLatin1String("1") || s == QLatin1String("true") || s == QLatin1String("yes") || s == QLatin1String("on"))
            out = true;
        else if (s == QLatin1String("0") || s == QLatin1String("false") || s == QLatin1String("no") || s == QLatin1String("off"))
            out = false;
        else
            fail(key, *v, QStringLiteral("use 1 (yes) or 0 (no)"));
    }

    void readInt(const QString &key, int low, int high, int &out, const QString &unit = QString()) const
    {
        const auto v = take(key);
        if (!v)
            return;
        bool ok = false;
        const int n = v->toInt(&ok);
        if (!ok || n < low || n > high)
            fail(key, *v, QStringLiteral("use a whole number from %1 to %2%3").arg(low).arg(high).arg(unit));
        out = n;
    }

    bool readStorage(const QString &key, QByteArray &out) const
    {
        const auto v = take(key);
        if (!v)
            return false;
        static const QRegularExpression storage(QStringLiteral("^[A-Za-z]{2}$"));
        if (!storage.match(*v).hasMatch())
            fail(key, *v, QStringLiteral("use a storage name of two letters such as SM, ME, MT or SR"));
        out = v->toUpper().toLatin1();
        return true;
    }

    void readCnmi(const QString &key, QByteArray &out) const
    {
        const auto v = take(key);
        if (!v)
            return;
        // <mode>[,<mt>[,<bm>[,<ds>[,<bfr>]]]] with single-digit values (TS 27.005 3.4.1).
        static const QRegularExpression cnmi(QStringLiteral("^[0-3](,[0-3]){0,4}$"));
        if (!cnmi.match(*v).hasMatch())
            fail(key, *v, QStringLiteral("use the +CNMI parameters alone, e.g. 2,1,0,2,0"));
        out = v->toLatin1();
    }

    QByteArray commandLine(const QString &key, const QString &value) const
    {
        // Printable ASCII only: a control character (Ctrl-Z, ESC, CR) inside an init line would
        // end the command early or send a message.
        bool printable = !value.isEmpty() && value.size() <= 256;
        for (QChar c : value)
            printable = printable && c.unicode() >= 0x20 && c.unicode() < 0x7F;
        if (!printable || !value.startsWith(QLatin1String("AT"), Qt::CaseInsensitive))
            fail(key, value, QStringLiteral("use one complete AT command line of printable ASCII, e.g. AT+CSCS=\"GSM\""));
        return value.toLatin1();
    }

    // Init1..InitN in numeric order; gaps are allowed, empty values skipped.
    QList<QByteArray> numberedCommands(const QString &prefix) const
    {
        QMap<int, QByteArray> byNumber;
        for (const PellixIni::Entry &entry : m_ini.entries(QLatin1String(ModemSection))) {
            const int n = numberOf(entry.key, prefix);
            if (n <= 0 || byNumber.contains(n) || entry.value.isEmpty())
                continue;
            byNumber.insert(n, commandLine(entry.key, entry.value));
        }
        return byNumber.values();
    }

    static int numberOf(const QString &key, const QString &prefix)
    {
        if (!key.startsWith(prefix, Qt::CaseInsensitive) || key.size() == prefix.size() || key.size() > prefix.size() + 3)
            return 0;
        bool ok = false;
        const int n = QStringView(key).mid(prefix.size()).toInt(&ok);
        for (QChar c : QStringView(key).mid(prefix.size()))
            ok = ok && c.isDigit() && c.unicode() < 0x80;
        return ok ? n : 0;
    }

    const PellixIni &m_ini;
};

const QStringList &knownKeys()
{
    static const QStringList keys{
        QStringLiteral("Name"), QStringLiteral("BaudRate"), QStringLiteral("Echo"), QStringLiteral("SlowWrite"),
        QStringLiteral("MessageStorage"), QStringLiteral("WriteStorage"), QStringLiteral("ReceiveStorage"),
        QStringLiteral("ReportStorage"), QStringLiteral("CnmiLive"), QStringLiteral("CnmiStored"),
        QStringLiteral("Cnma"), QStringLiteral("PhonebookStorage"), QStringLiteral("Cmee"),
        QStringLiteral("CpinWithoutOk"), QStringLiteral("CpmsWithoutOk"), QStringLiteral("NoCgmr"),
        QStringLiteral("IdentitySpaces"), QStringLiteral("CommandTimeout"), QStringLiteral("ListTimeout"),
    };
    return keys;
}

} // namespace

QByteArray ModemProfile::cpmsArguments() const
{
    return '"' + messageStorage + "\",\"" + writeStorage + "\",\"" + receiveStorage + '"';
}

QList<qint32> modemTypeCodes()
{
    QList<qint32> codes;
    for (const ProfileRow &row : Rows)
        codes.append(row.code);
    codes.append(IniProfileCode);
    return codes;
}

ModemProfile profileFromIni(const PellixIni &ini)
{
    if (!ini.errorText().isEmpty())
        raise(ErrorCode::ProfileError, QStringLiteral("cannot read %1").arg(ini.errorText()));
    if (!ini.exists())
        raise(ErrorCode::ProfileError, missingFileText(ini));
    if (!ini.hasSection(QLatin1String(ModemSection)))
        raise(ErrorCode::ProfileError, QStringLiteral("no [Modem] section in %1; modem type 0 takes its profile "
                                                      "from there: add one, %2")
                                           .arg(fileName(ini), QLatin1String(Example)));

    const QList<PellixIni::Entry> entries = ini.entries(QLatin1String(ModemSection));
    if (entries.isEmpty())
        raise(ErrorCode::ProfileError, QStringLiteral("the [Modem] section of %1 is empty; give at least a Name, %2")
                                           .arg(fileName(ini), QLatin1String(Example)));

    IniReader r(ini);
    // A misspelt key would otherwise be ignored without a word, and its setting silently lost.
    for (const PellixIni::Entry &entry : entries) {
        const bool known = knownKeys().contains(entry.key, Qt::CaseInsensitive)
            || IniReader::numberOf(entry.key, QStringLiteral("Init")) > 0
            || IniReader::numberOf(entry.key, QStringLiteral("OptionalInit")) > 0;
        if (!known)
            r.fail(entry.key, entry.value,
                   QStringLiteral("unknown key; the keys are %1, Init1..InitN and OptionalInit1..OptionalInitN")
                       .arg(knownKeys().join(QStringLiteral(", "))));
    }

    ModemProfile p;
    p.code = IniProfileCode;
    p.name = QString::fromLatin1(IniProfileName);
    if (const auto name = r.take(QStringLiteral("Name")); name && !name->isEmpty())
        p.name = *name;
    int baud = p.baudRate;
    r.readInt(QStringLiteral("BaudRate"), 50, 4000000, baud, QStringLiteral(" (bits per second)"));
    p.baudRate = baud;
    p.initCommands = r.numberedCommands(QStringLiteral("Init"));
    p.optionalInitCommands = r.numberedCommands(QStringLiteral("OptionalInit"));
    r.readBool(QStringLiteral("Echo"), p.echo);
    r.readBool(QStringLiteral("SlowWrite"), p.slowWrite);

    // The other storages follow MessageStorage unless given: one storage for everything is what
    // most modems want.
    if (r.readStorage(QStringLiteral("MessageStorage"), p.messageStorage))
        p.writeStorage = p.receiveStorage = p.reportStorage = p.messageStorage;
    r.readStorage(QStringLiteral("WriteStorage"), p.writeStorage);
    r.readStorage(QStringLiteral("ReceiveStorage"), p.receiveStorage);
    r.readStorage(QStringLiteral("ReportStorage"), p.reportStorage);
    r.readStorage(QStringLiteral("PhonebookStorage"), p.phonebookStorage);
    r.readCnmi(QStringLiteral("CnmiLive"), p.cnmiLive);
    r.readCnmi(QStringLiteral("CnmiStored"), p.cnmiStored);
    r.readBool(QStringLiteral("Cnma"), p.cnmaRequired);
    r.readInt(QStringLiteral("Cmee"), 1, 2, p.cmeeMode);
    r.readBool(QStringLiteral("CpinWithoutOk"), p.cpinWithoutOk);
    r.readBool(QStringLiteral("CpmsWithoutOk"), p.cpmsWithoutOk);
    r.readBool(QStringLiteral("NoCgmr"), p.cgmrUnsupported);
    r.readBool(QStringLiteral("IdentitySpaces"), p.identitySpaces);
    int commandSeconds = p.commandTimeoutMs / 1000;
    r.readInt(QStringLiteral("CommandTimeout"), 1, 300, commandSeconds, QStringLiteral(" (seconds)"));
    p.commandTimeoutMs = commandSeconds * 1000;
    int listSeconds = p.listTimeoutMs / 1000;
    r.readInt(QStringLiteral("ListTimeout"), 1, 600, listSeconds, QStringLiteral(" (seconds)"));
    p.listTimeoutMs = listSeconds * 1000;
    return p;
}

ModemProfile modemProfile(qint32 code, const PellixIni &ini)
{
    if (code == IniProfileCode)
        return profileFromIni(ini);
    for (const ProfileRow &row : Rows)
        if (row.code == code)
            return fromRow(row);
    raise(ErrorCode::UnknownModemType,
          QStringLiteral("no profile for modem type %1; choose one of the list, or type 0 with a [Modem] "
                         "section in Pellix.ini")
              .arg(code));
}

ModemProfile modemProfile(qint32 code)
{
    // Pellix.ini is read only for the type that needs it.
    if (code == IniProfileCode)
        return profileFromIni(PellixIni::loadDefault());
    return modemProfile(code, PellixIni());
}

} // namespace pellix
