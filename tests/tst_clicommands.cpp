// SPDX-License-Identifier: GPL-3.0-or-later
#include "clifixture.h"

class TestCliCommands : public CliFixture
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString v = QStringLiteral("--type=-1");
        const QString own = QStringLiteral("+3934811111111");
        const QString longText = QString(200, QLatin1Char('x'));

        QTest::newRow("identify") << QStringList{v, "identify"} << 0 << "IMEI: 357920061482624" << "";
        QTest::newRow("signal in dBm") << QStringList{"signal", v} << 0 << " dBm), ber " << "";
        QTest::newRow("send") << QStringList{v, "send", own, "hello"} << 0 << "Message sent (" << "";
        QTest::newRow("send 8-bit hex") << QStringList{v, "send", own, "00FF", "--alphabet", "8"} << 0 << "Message sent (" << "";
        QTest::newRow("long text in parts") << QStringList{v, "send", own, longText} << 0 << "Long message sent (2 parts)" << "";
        QTest::newRow("81 extension characters are 162 septets: in parts")
            << QStringList{v, "send", own, QString(81, QChar(0x20AC))} << 0 << "Long message sent (2 parts)" << "";
        QTest::newRow("report waited for")
            << QStringList{v, "send", own, "hi", "--wait-report", "10"} << 0 << "report on 1 to " + own << "";
        QTest::newRow("a line break in a message stays on its line")
            << QStringList{v, "send", own, "two\nlines", "--wait-report", "10"} << 0 << ": two\\nlines" << "";
        QTest::newRow("report not in time")
            << QStringList{v, "send", own, "hi", "--wait-report=1"} << int(cli::ExitTimedOut) << "Message sent (1)"
            << "pellix: error 3: Timeout waiting for the modem: no status report for message 1 within 1 s";
        QTest::newRow("stored messages") << QStringList{v, "sms", "list"} << 0 << "Welcome to the virtual network" << "";
        QTest::newRow("phonebook") << QStringList{v, "phonebook", "list"} << 0 << "Anna Rossi" << "";
        QTest::newRow("text that looks like an option") << QStringList{v, "send", own, "--", "--json"} << 0 << "Message sent (" << "";
        QTest::newRow("forwarding set")
            << QStringList{v, "forward", "set", "+15550999", "--reason", "1"} << 0 << "Forwarding (busy): to +15550999" << "";
        QTest::newRow("raw command") << QStringList{v, "at", "AT+CSQ", "AT+CGMI"} << 0 << "+CSQ: " << "";
        QTest::newRow("raw command refused by the modem")
            << QStringList{v, "at", "AT+NOSUCH", "AT+CSQ"} << int(cli::ExitModemError) << "ERROR"
            << "pellix: error 6: The modem answered ERROR";
        QTest::newRow("modem's own error") << QStringList{v, "phonebook", "delete", "999"} << int(cli::ExitModemError) << ""
                                           << "pellix: error 1021: invalid index";

        QTest::newRow("help") << QStringList{"--help"} << 0 << "Exit statuses" << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "pellix 2." << "";
        QTest::newRow("command help") << QStringList{"send", "--help"} << 0 << "--wait-report" << "";
        const int usage = cli::ExitUsage;
        QTest::newRow("no command") << QStringList{v} << usage << "" << "pellix: usage: no command given";
        QTest::newRow("unknown command") << QStringList{v, "reboot"} << usage << "" << "unknown command \"reboot\" (pellix --help";
        QTest::newRow("letters swapped in a command") << QStringList{v, "sned"} << usage << "" << "did you mean \"send\"?";
        QTest::newRow("a letter left out of a command") << QStringList{v, "phonebok", "list"} << usage << ""
                                                        << "did you mean \"phonebook\"?";
        QTest::newRow("a command's start") << QStringList{v, "ident"} << usage << "" << "did you mean \"identify\"?";
        QTest::newRow("a letter changed in an option") << QStringList{v, "--jsin", "identify"} << usage << ""
                                                       << "unknown option --jsin (did you mean --json?)";
        QTest::newRow("unknown option") << QStringList{v, "identify", "--verbose"} << usage << "" << "unknown option --verbose";
        QTest::newRow("option of another command") << QStringList{v, "identify", "--receipt"} << usage << ""
                                                    << "identify does not take --receipt";
        QTest::newRow("no modem named") << QStringList{"identify"} << usage << "" << "give the modem with --port";
        QTest::newRow("virtual modem with a port") << QStringList{v, "--port", "COM3", "identify"} << usage << ""
                                                   << "takes no --port";
        QTest::newRow("missing text") << QStringList{v, "send", own} << usage << "" << "send NUMBER TEXT";
        QTest::newRow("the command's words before the modem") << QStringList{"send"} << usage << "" << "send NUMBER TEXT";
        QTest::newRow("bad number") << QStringList{v, "send", "12ab", "hello"} << usage << ""
                                    << "NUMBER: Invalid phone number: \"12ab\"";
        QTest::newRow("text the GSM alphabet lacks") << QStringList{v, "send", own, "\u65E5"} << usage << ""
                                                     << "TEXT: Text not representable in the chosen alphabet";
        QTest::newRow("bad forwarding number") << QStringList{v, "forward", "set", "+39 abc"} << usage << ""
                                               << "NUMBER: Invalid phone number";
        QTest::newRow("bad number to store") << QStringList{v, "phonebook", "write", "5", "Anna", "12-34"} << usage << ""
                                             << "NUMBER: \"12-34\" holds '-'";
        QTest::newRow("quote in a name to store") << QStringList{v, "phonebook", "write", "5", "A \"B\"", "1234"} << usage << ""
                                                  << "NAME cannot hold";
        QTest::newRow("class out of range") << QStringList{v, "send", own, "x", "--class", "4"} << usage << ""
                                            << "--class must be a whole number from 0 to 3";
        QTest::newRow("odd hex") << QStringList{v, "send", own, "ABC", "--alphabet=8"} << usage << ""
                                 << "pairs of hex digits";
        QTest::newRow("long text with a header") << QStringList{v, "send", own, longText, "--udh", "00"} << usage << ""
                                                 << "takes no --udh";
        QTest::newRow("bad location") << QStringList{v, "sms", "delete", "first"} << usage << "" << "LOCATION must be";
        QTest::newRow("two filters") << QStringList{v, "sms", "list", "--read", "--unread"} << usage << "" << "one of --all";
        QTest::newRow("line that would break the session") << QStringList{v, "at", "AT+CSQ", "AT+CMGS=23"} << usage << ""
                                                           << "AT+CMGS would break the session";
        QTest::newRow("breaking line behind a space") << QStringList{v, "at", "AT +CMGS=23"} << usage << ""
                                                      << "AT+CMGS would break the session";
        QTest::newRow("breaking line behind a basic command") << QStringList{v, "at", "ATE1+CMGS=23"} << usage << ""
                                                              << "AT+CMGS would break the session";
        QTest::newRow("quiet behind an S-register") << QStringList{v, "at", "ATS0=0Q1"} << usage << ""
                                                    << "ATQ1 silences the result codes";
        QTest::newRow("line terminator changed") << QStringList{v, "at", "ATS3=65"} << usage << ""
                                                 << "ATS3= changes how command lines and answers are framed";
        QTest::newRow("answer format behind another basic command") << QStringList{v, "at", "ATE1S4=10"} << usage << ""
                                                                     << "ATS4= changes";
        QTest::newRow("editing character with blanks, lower case") << QStringList{v, "at", "at s 5 = 8"} << usage << ""
                                                                    << "ATS5= changes";
        QTest::newRow("settings stored for power-up") << QStringList{v, "at", "AT+CSQ;&W"} << usage << ""
                                                      << "AT&W stores the settings";
        QTest::newRow("character framing") << QStringList{v, "at", "AT+ICF=3,1"} << usage << "" << "AT+ICF would break the session";
        QTest::newRow("settings stored behind a backslash command") << QStringList{v, "at", "AT\\Q3&W"} << usage << ""
                                                                     << "AT&W stores the settings";
        QTest::newRow("line terminator behind a percent command") << QStringList{v, "at", "AT%C0S3=65"} << usage << ""
                                                                  << "ATS3= changes";
        QTest::newRow("numeric codes behind a backslash command") << QStringList{v, "at", "AT\\N3V0"} << usage << ""
                                                                  << "ATV0 makes the result codes numeric";
        QTest::newRow("register named by a read, set after it") << QStringList{v, "at", "ATS3?=65"} << usage << ""
                                                               << "AT= sets the S-register named last";
        QTest::newRow("register named on an earlier line") << QStringList{v, "at", "ATS3", "AT=65"} << usage << ""
                                                          << "AT= sets the S-register named last";
        QTest::newRow("register without its number") << QStringList{v, "at", "ATS=65"} << usage << ""
                                                    << "AT= sets the S-register named last";
        QTest::newRow("line terminator read") << QStringList{v, "at", "ATS3?"} << 0 << "OK" << "";
        QTest::newRow("line terminator read behind another") << QStringList{v, "at", "ATE1S3?"} << 0 << "OK" << "";
        QTest::newRow("ports with a modem option") << QStringList{"ports", "--port", "COM3"} << usage << ""
                                                   << "ports looks at every port and takes no --port";
        QTest::newRow("not an AT line") << QStringList{v, "at", "hello"} << usage << "" << "does not start with AT";
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        m_modemsMade = 0;
        const Run result = run(arguments);
        QVERIFY2(result.out.contains(out), qPrintable(result.out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(QStringLiteral("pellix: ")) && result.err.contains(err),
                 qPrintable(result.err));
        QCOMPARE(result.status, status);
        // A usage error is found before any modem is made, let alone spoken to.
        if (status == cli::ExitUsage)
            QCOMPARE(m_modemsMade, 0);
        // One line on stderr, whatever went wrong.
        QVERIFY(result.err.count(QLatin1Char('\n')) <= 1);
    }

    void json_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("path");   // key, or key/index/key into the document
        QTest::addColumn<QVariant>("value"); // invalid: the field must be there
        const QString v = QStringLiteral("--type=-1");
        QTest::newRow("identify") << QStringList{v, "--json", "identify"} << 0 << "manufacturer" << QVariant("Pellix");
        QTest::newRow("identify dBm") << QStringList{v, "--json", "identify"} << 0 << "dbm" << QVariant();
        QTest::newRow("message list")
            << QStringList{v, "--json", "sms", "list"} << 0 << "messages/0/from" << QVariant("+393471234567");
        QTest::newRow("8-bit text as hex")
            << QStringList{v, "--json", "sms", "list"} << 0 << "messages/3/text" << QVariant();
        QTest::newRow("send") << QStringList{v, "--json", "send", "+15550100", "x"} << 0 << "reference" << QVariant(1);
        QTest::newRow("raw answer") << QStringList{v, "--json", "at", "AT+CGMI"} << 0 << "answers/0/final" << QVariant("OK");
        QTest::newRow("library error") << QStringList{v, "--json", "phonebook", "delete", "999"} << 3 << "error" << QVariant(1021);
        QTest::newRow("usage error") << QStringList{v, "--json", "send"} << 2 << "exit" << QVariant(2);
    }

    void json()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, path);
        QFETCH(QVariant, value);
        const Run result = run(arguments);
        QCOMPARE(result.status, status);
        QVERIFY2(result.out.endsWith(QLatin1Char('\n')) && result.out.count(QLatin1Char('\n')) == 1, qPrintable(result.out));
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QJsonValue at = document.object();
        for (const QString &step : path.split(QLatin1Char('/'))) {
            bool isIndex = false;
            const int index = step.toInt(&isIndex);
            at = isIndex ? at.toArray().at(index) : at.toObject().value(step);
        }
        QVERIFY2(!at.isUndefined() && !at.isNull(), qPrintable(path));
        if (value.isValid())
            QCOMPARE(at.toVariant(), value);
    }

    // The bytes of the command line as a shell hands them over: a text that is not UTF-8 is refused,
    // never sent or stored as replacement characters.
    void argumentsAsBytes_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const QByteArray v = "--type=-1";
        QTest::newRow("UTF-8 text is sent")
            << QList<QByteArray>{v, "send", "--alphabet", "16", "+15550100", "citt\xC3\xA0 \xE2\x82\xAC"} << 0 << "";
        QTest::newRow("a stray byte in a message")
            << QList<QByteArray>{v, "send", "--alphabet", "16", "+15550100", "a\xFF"} << int(cli::ExitUsage)
            << "argument 6 (\"a\\xFF\") is not valid UTF-8: byte offset 1 (0xFF)";
        QTest::newRow("a sequence cut short in a name")
            << QList<QByteArray>{v, "phonebook", "write", "5", "Ren\xC3", "1234"} << int(cli::ExitUsage)
            << "argument 5 (\"Ren\\xC3\") is not valid UTF-8: byte offset 3 (0xC3)";
        QTest::newRow("an overlong form") << QList<QByteArray>{v, "send", "+15550100", "\xC0\xAF"} << int(cli::ExitUsage)
                                          << "byte offset 0 (0xC0)";
        QTest::newRow("a surrogate") << QList<QByteArray>{v, "send", "+15550100", "x\xED\xA0\x80"} << int(cli::ExitUsage)
                                     << "byte offset 1 (0xED)";
    }

    void argumentsAsBytes()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(int, status);
        QFETCH(QString, err);
        m_modemsMade = 0;
        const Run result = run([&](cli::Environment &environment) { return cli::runPellix(arguments, environment); });
        QCOMPARE(result.status, status);
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(QStringLiteral("pellix: usage: ")) && result.err.contains(err),
                 qPrintable(result.err));
        if (status == cli::ExitUsage)
            QCOMPARE(m_modemsMade, 0);
    }

    // The help texts are the manual page: every option pellix reads and every exit status is in
    // them.
    void helpNamesEverything()
    {
        const QString general = run({QStringLiteral("--help")}).out;
        QString all = general;
        const QString commands = general.section(QLatin1String("\nCommands"), 1).section(QLatin1String("\n\n"), 0, 0);
        for (const QString &line : commands.split(QLatin1Char('\n')).mid(1)) {
            const Run help = run({line.simplified().section(QLatin1Char(' '), 0, 0), QStringLiteral("--help")});
            QCOMPARE(help.status, 0);
            all += help.out;
        }
        for (const QString &option : cli::CommandLine::knownOptions())
            QVERIFY2(all.contains(option), qPrintable(option));
        const QString statuses = general.section(QLatin1String("\nExit statuses:\n"), 1);
        for (int status : {cli::ExitSuccess, cli::ExitOutputFailed, cli::ExitUsage, cli::ExitModemError, cli::ExitConnectionLost,
                           cli::ExitTimedOut})
            QVERIFY2(statuses.contains(QStringLiteral("\n  %1  ").arg(status)) || statuses.startsWith(QStringLiteral("  %1  ").arg(status)),
                     qPrintable(QString::number(status)));
    }

    // A listing with --delete whose output cannot be written deletes nothing.
    void listingNobodyReads_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("messages") << "sms";
        QTest::newRow("status reports") << "reports";
    }

    void listingNobodyReads()
    {
        QFETCH(QString, what);
        const QStringList list{QStringLiteral("--type=-1"), what, QStringLiteral("list")};
        // Listing marks unread messages read: the second listing is the one to compare with.
        run(list);
        const QString before = run(list).out;
        QVERIFY(before.count(QLatin1Char('\n')) >= 1);
        m_outputGone = true;
        const Run gone = run(list + QStringList{QStringLiteral("--delete")});
        m_outputGone = false;
        QCOMPARE(gone.status, int(cli::ExitOutputFailed));
        QVERIFY2(gone.err.startsWith(QStringLiteral("pellix: error: the listing could not be written to the output; nothing was deleted")),
                 qPrintable(gone.err));
        QCOMPARE(run(list).out, before);
    }

    // The link drops during the deletes of a listing: no success, and the error says what was
    // deleted, what is still stored, and which delete went out without an answer.
    void linkDropsWhileDeleting()
    {
        const QStringList list{QStringLiteral("--type=-1"), QStringLiteral("--json"), QStringLiteral("sms"), QStringLiteral("list")};
        int deletes = 0;
        m_virtual->setTrace([&](sim::VirtualModem::TraceKind kind, const QByteArray &text) {
            if (kind == sim::VirtualModem::TraceKind::Command && text.startsWith("AT+CMGD=") && ++deletes == 2)
                m_transport->setFault(sim::VirtualModemTransport::Fault::Unplugged);
        });
        const Run result = run(list + QStringList{QStringLiteral("--delete")});
        m_virtual->setTrace({});
        QCOMPARE(result.status, int(cli::ExitConnectionLost));
        const QStringList documents = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(documents.size(), 2);
        QList<int> listed;
        for (const QJsonValue message : QJsonDocument::fromJson(documents.first().toUtf8()).object().value(QLatin1String("messages")).toArray())
            listed << message.toObject().value(QLatin1String("location")).toInt();
        QVERIFY(listed.size() >= 3);
        const QJsonObject error = QJsonDocument::fromJson(documents.last().toUtf8()).object();
        QCOMPARE(error.value(QLatin1String("exit")).toInt(), int(cli::ExitConnectionLost));
        const auto numbers = [](const QJsonValue &value) {
            QList<int> out;
            for (const QJsonValue n : value.toArray())
                out << n.toInt();
            return out;
        };
        QCOMPARE(numbers(error.value(QLatin1String("deleted"))), listed.mid(0, 1));
        QCOMPARE(numbers(error.value(QLatin1String("unconfirmed"))), listed.mid(1, 1));
        QCOMPARE(numbers(error.value(QLatin1String("remaining"))), listed.mid(2));
        QVERIFY2(result.err.contains(QLatin1String("still stored: ")), qPrintable(result.err));
        // What is said to be stored is.
        const QJsonArray after = QJsonDocument::fromJson(run(list).out.toUtf8()).object().value(QLatin1String("messages")).toArray();
        QList<int> stored;
        for (const QJsonValue message : after)
            stored << message.toObject().value(QLatin1String("location")).toInt();
        for (const int location : listed.mid(2))
            QVERIFY(stored.contains(location));
        QVERIFY(!stored.contains(listed.first()));
    }

    // Any other result, or the help, that cannot be written is a failure too (exit status 1): a
    // script must not take "pellix send ... > full-disk" for a sent message it has the answer of.
    void resultNobodyReads_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString v = QStringLiteral("--type=-1");
        QTest::newRow("identify") << QStringList{v, "identify"};
        QTest::newRow("send, JSON") << QStringList{v, "--json", "send", "+3934811111111", "hi"};
        QTest::newRow("help") << QStringList{"--help"};
        QTest::newRow("version") << QStringList{"--version"};
    }

    void resultNobodyReads()
    {
        QFETCH(QStringList, arguments);
        m_outputGone = true;
        const Run gone = run(arguments);
        m_outputGone = false;
        QCOMPARE(gone.status, int(cli::ExitOutputFailed));
        QVERIFY2(gone.err.startsWith(QStringLiteral("pellix: error: the result could not be written to the output")),
                 qPrintable(gone.err));
    }

    void ports_data()
    {
        QTest::addColumn<bool>("usbStick");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("probed");
        QTest::addColumn<QStringList>("out");
        QTest::newRow("no serial devices") << false << QStringList{"ports"} << 0 << QStringList{"No serial ports found"};
        QTest::newRow("no serial devices, JSON") << false << QStringList{"--json", "ports", "--probe"} << 0
                                                 << QStringList{"{\"ports\":[]}"};
        QTest::newRow("a USB stick's three ports")
            << true << QStringList{"ports"} << 0
            << QStringList{"COM33   /dev/ttyUSB0: USB 12d1:1506 HUAWEI Mobile", "COM35   /dev/ttyUSB2", "-       /dev/ttyAMA0",
                           "give it one in [Ports]"};
        QTest::newRow("probed: which one answers AT")
            << true << QStringList{"ports", "--probe"} << 4
            << QStringList{"COM34   /dev/ttyUSB1", "answers AT: HUAWEI E3372, revision 21.180, IMEI 867000000000001",
                           "no AT answer (silent)", "skipped: in use by minicom (pid 42)"};
        QTest::newRow("probed, JSON") << true << QStringList{"--json", "ports", "--probe"} << 4
                                      << QStringList{"\"com\":34", "\"outcome\":\"answered\"", "\"imei\":\"867000000000001\"",
                                                     "\"vendorId\":\"12d1\""};
    }

    void ports()
    {
        QFETCH(bool, usbStick);
        QFETCH(QStringList, arguments);
        QFETCH(int, probed);
        QFETCH(QStringList, out);
        m_ports.clear();
        m_probes.clear();
        m_probed = 0;
        if (usbStick) {
            for (int i = 0; i < 3; ++i) {
                SerialPortDescription port;
                port.comNumber = 33 + i;
                port.devicePath = QStringLiteral("/dev/ttyUSB%1").arg(i);
                port.vendorId = 0x12d1;
                port.productId = 0x1506;
                port.manufacturer = QStringLiteral("HUAWEI");
                port.product = QStringLiteral("HUAWEI Mobile");
                m_ports.append(port);
            }
            m_ports[2].holders = QStringList{QStringLiteral("minicom (pid 42)")};
            SerialPortDescription uart;
            uart.devicePath = QStringLiteral("/dev/ttyAMA0");
            m_ports.append(uart);
            PortProbeResult answer;
            answer.outcome = PortProbeResult::Outcome::Answered;
            answer.manufacturer = QStringLiteral("HUAWEI");
            answer.model = QStringLiteral("E3372");
            answer.revision = QStringLiteral("21.180");
            answer.imei = QStringLiteral("867000000000001");
            m_probes.insert(QStringLiteral("/dev/ttyUSB1"), answer);
            PortProbeResult silent;
            silent.reason = QStringLiteral("silent");
            m_probes.insert(QStringLiteral("/dev/ttyUSB0"), silent);
            m_probes.insert(QStringLiteral("/dev/ttyAMA0"), silent);
            PortProbeResult held;
            held.outcome = PortProbeResult::Outcome::Skipped;
            held.reason = QStringLiteral("in use by minicom (pid 42)");
            m_probes.insert(QStringLiteral("/dev/ttyUSB2"), held);
        }
        const Run result = run(arguments);
        QCOMPARE(result.status, 0);
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        for (const QString &piece : out)
            QVERIFY2(result.out.contains(piece), qPrintable(piece + QLatin1String(" in:\n") + result.out));
        QCOMPARE(m_probed, probed);
    }
};

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
