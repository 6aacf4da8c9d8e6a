// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/tracelog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pellix;

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QByteArray> linesOf(const QString &path)
{
    QList<QByteArray> lines = contents(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class tst_TraceLog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString pathOf(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void lineFormat_data()
    {
        QTest::addColumn<int>("kind"); // 0 sent, 1 received, 2 note, 3 discarded
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("command sent") << 0 << QByteArray("AT+CSQ") << QByteArray("-> AT+CSQ");
        QTest::newRow("answer received") << 1 << QByteArray("+CSQ: 21,99") << QByteArray("<- +CSQ: 21,99");
        QTest::newRow("note") << 2 << QByteArray("connect COM3 (/dev/ttyS2) profile Wavecom")
                              << QByteArray("== connect COM3 (/dev/ttyS2) profile Wavecom");
        QTest::newRow("discarded echo") << 3 << QByteArray("AT+CSQ") << QByteArray("<- (discarded) AT+CSQ");
        QTest::newRow("control bytes escaped")
            << 1 << QByteArray("OK\r\n\x1A\x1B", 6) << QByteArray("<- OK<0D><0A><1A><1B>");
        QTest::newRow("NUL and high bytes escaped")
            << 1 << QByteArray("A\0\x7F\xFF", 4) << QByteArray("<- A<00><7F><FF>");
        // The trace is read back to bytes (replay): text that reads as an escape is escaped itself.
        QTest::newRow("literal escape-like text escaped") << 1 << QByteArray("<0D>") << QByteArray("<- <3C>0D>");
        QTest::newRow("other angle brackets stay") << 1 << QByteArray("<x> < 1 <0d>") << QByteArray("<- <x> < 1 <0d>");
        QTest::newRow("non-ASCII note escaped by byte")
            << 2 << QByteArray("port /dev/\xC3\xA9") << QByteArray("== port /dev/<C3><A9>");
        QTest::newRow("PIN masked") << 0 << QByteArray("AT+CPIN=\"1234\"") << QByteArray("-> AT+CPIN=****");
        QTest::newRow("PIN and new PIN masked, next command kept")
            << 0 << QByteArray("AT+cpin=\"12345678\",\"4321\";+CSQ") << QByteArray("-> AT+cpin=****;+CSQ");
        QTest::newRow("echoed PIN masked too") << 1 << QByteArray("AT+CPIN=1234") << QByteArray("<- AT+CPIN=****");
        QTest::newRow("password change masked")
            << 0 << QByteArray("AT+CPWD=\"SC\",\"1111\",\"2222\"") << QByteArray("-> AT+CPWD=****");
        QTest::newRow("facility lock keeps facility and mode")
            << 0 << QByteArray("AT+CLCK=\"SC\",1,\"0000\",7") << QByteArray("-> AT+CLCK=\"SC\",1,****,7");
        QTest::newRow("facility query has nothing to mask")
            << 0 << QByteArray("AT+CLCK=\"SC\",2") << QByteArray("-> AT+CLCK=\"SC\",2");
        QTest::newRow("PIN state answer is not a secret")
            << 1 << QByteArray("+CPIN: SIM PIN") << QByteArray("<- +CPIN: SIM PIN");
    }
    void lineFormat()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        const QString path = pathOf("format.log");
        QFile::remove(path);
        {
            TraceLog log(path);
            QVERIFY2(log.isOpen(), qPrintable(log.errorText()));
            switch (kind) {
            case 0: log.sent(input); break;
            case 1: log.received(input); break;
            case 2: log.note(QString::fromUtf8(input)); break;
            default: log.discarded(input); break;
            }
        }
        const QList<QByteArray> lines = linesOf(path);
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression stamp(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}) (.*)$"));
        const auto match = stamp.match(QString::fromLatin1(lines.first()));
        QVERIFY2(match.hasMatch(), lines.first().constData());
        const QDateTime when = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
        QVERIFY(when.isValid());
        QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(match.captured(2).toLatin1(), expected);
    }

    // Modems ignore blanks and case outside quoted strings: every form they take is masked,
    // and nothing that is no secret is.
    void masksEveryFormTheModemTakes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("blank before '='") << QByteArray("AT+CPIN =\"1234\"") << QByteArray("AT+CPIN =****");
        QTest::newRow("blanks everywhere, lower case") << QByteArray("at + c pin = 1 2 3 4") << QByteArray("at + c pin = ****");
        QTest::newRow("PIN2") << QByteArray("AT+CPIN2=\"5678\"") << QByteArray("AT+CPIN2=****");
        QTest::newRow("PUK and new PIN, vendor form") << QByteArray("AT^CPIN=\"12345678\",\"1234\"") << QByteArray("AT^CPIN=****");
        QTest::newRow("password change with blanks")
            << QByteArray("AT + cpwd = \"SC\",\"1111\",\"2222\"") << QByteArray("AT + cpwd = ****");
        QTest::newRow("facility lock with blanks")
            << QByteArray("AT+CLCK = \"SC\" , 1 , \"0000\"") << QByteArray("AT+CLCK = \"SC\" , 1 , ****");
        QTest::newRow("lock between other commands")
            << QByteArray("AT+CSQ;+clck=\"SC\",0,\"1234\";+CPIN?") << QByteArray("AT+CSQ;+clck=\"SC\",0,****;+CPIN?");
        QTest::newRow("';' inside a quoted PIN") << QByteArray("AT+CPIN=\"12;34\";+CSQ") << QByteArray("AT+CPIN=****;+CSQ");
        // A stray quote makes the line one the modem refuses, but the PIN typed into it is no less
        // a secret, and the refusal's error text quotes the line.
        QTest::newRow("stray quote before the command") << QByteArray("AT\"+CPIN=1234") << QByteArray("AT\"+CPIN=****");
        QTest::newRow("stray quote in the facility")
            << QByteArray("AT+CLCK=\"S\"C\",1,1234") << QByteArray("AT+CLCK=****");
        QTest::newRow("PIN change dialled") << QByteArray("ATD**04*1234*5678*5678#;") << QByteArray("ATD**04*****#;");
        QTest::newRow("PUK in a USSD string")
            << QByteArray("AT+CUSD=1,\"**05*12345678*1111*1111#\",15") << QByteArray("AT+CUSD=1,\"**05*****#\",15");
        QTest::newRow("barring password change keeps the service")
            << QByteArray("ATD**03*330*1111*2222*2222#;") << QByteArray("ATD**03*330*****#;");
        QTest::newRow("barring password, basic service kept") << QByteArray("ATD*33*0000*11#;") << QByteArray("ATD*33******11#;");
        QTest::newRow("dialled number is no PIN") << QByteArray("ATD+393471234;") << QByteArray("ATD+393471234;");
        QTest::newRow("caller id prefix is no PIN") << QByteArray("ATD*31#1234;") << QByteArray("ATD*31#1234;");
        QTest::newRow("PIN query") << QByteArray("AT+CPIN?") << QByteArray("AT+CPIN?");
        QTest::newRow("PIN attempts answer") << QByteArray("+CPINR: SIM PIN,3,3") << QByteArray("+CPINR: SIM PIN,3,3");
        QTest::newRow("lock query with blanks") << QByteArray("AT+CLCK = \"SC\",2") << QByteArray("AT+CLCK = \"SC\",2");
    }
    void masksEveryFormTheModemTakes()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, shown);
        QCOMPARE(TraceLog::masked(line), shown);
    }

    void bytesComeBackFromTheirText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("controls and high bytes") << QByteArray("OK\r\n\x1A\x1B\0\xFF", 8);
        QTest::newRow("text that looks like an escape") << QByteArray("<0D><1B>>");
        QTest::newRow("a '<' before an escape") << QByteArray("<\r<<3C>");
    }
    void bytesComeBackFromTheirText()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(TraceLog::bytesOf(TraceLog::printable(bytes)), bytes);
    }

    // Escapes are written in capitals: "<0a>" in a trace, written by any version, is the text it shows.
    void lowerCaseEscapesAreText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("lower case") << QByteArray("<0a>");
        QTest::newRow("mixed case") << QByteArray("<Fe>");
    }
    void lowerCaseEscapesAreText()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(TraceLog::printable(text), text);
        QCOMPARE(TraceLog::bytesOf(text), text);
    }

    // Each file the log begins, the fresh one after a rotation too, says its format first.
    void versionLineOpensEveryFile()
    {
        const QString path = pathOf("versioned.log");
        QFile::remove(path);
        QFile::remove(path + QStringLiteral(".1"));
        TraceLog log(path, 300);
        log.setVersionLine(true);
        for (int i = 0; i < 20; ++i)
            log.sent(QByteArray("AT") + QByteArray::number(1000 + i));
        for (const QString &file : {path, path + QStringLiteral(".1")}) {
            const QList<QByteArray> lines = linesOf(file);
            QVERIFY2(!lines.isEmpty() && lines.first().endsWith("== " + TraceLog::versionNote()), qPrintable(file));
            QCOMPARE(std::count_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.contains("== Pellix trace"); }), 1);
        }
        QCOMPARE(TraceLog::versionNote(), QByteArray("Pellix trace 2"));
    }

    void longLinesAreCut()
    {
        const QByteArray cut = TraceLog::printable(QByteArray(5000, 'A'));
        QVERIFY(cut.startsWith(QByteArray(TraceLog::MaxLineBytes, 'A')));
        QVERIFY2(cut.endsWith(" ...(" + QByteArray::number(5000 - TraceLog::MaxLineBytes) + " more bytes)"), cut.right(40).constData());
        // An escape is never split by the cut.
        const QByteArray escapes = TraceLog::printable(QByteArray(1000, '\r'), 10);
        QCOMPARE(escapes, QByteArray("<0D><0D> ...(998 more bytes)"));
    }

    void appendsAndIsReadableAtOnce()
    {
        const QString path = pathOf("append.log");
        QFile::remove(path);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier session\n");
        }
        TraceLog log(path);
        log.sent("AT");
        // No buffer: another reader (the console's "Show Log file") sees the line at once.
        QList<QByteArray> lines = linesOf(path);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.first(), QByteArray("earlier session"));
        QVERIFY(lines.last().endsWith("-> AT"));
        log.received("OK");
        lines = linesOf(path);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.last().endsWith("<- OK"));
    }

    void createdOwnerOnly_data()
    {
        QTest::addColumn<bool>("existing");  // mode 0644, as an older version or another umask left it
        QTest::newRow("created") << false;
        QTest::newRow("already there, readable by others") << true;
    }
    void createdOwnerOnly()
    {
        QFETCH(bool, existing);
        const QString path = pathOf("mode.log");
        QFile::remove(path);
        if (existing) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0644), 0);
        }
        // With no umask to help, the mode must come from the creation itself.
        const mode_t saved = ::umask(0);
        {
            TraceLog log(path);
            log.note(QStringLiteral("x"));
        }
        ::umask(saved);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
    }

    void plantedLinksAreNotFollowed_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("symbolic link to an existing file") << true << false;
        QTest::newRow("dangling symbolic link") << false << false;
        QTest::newRow("hard link to a file of ours") << true << true;
    }
    void plantedLinksAreNotFollowed()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, hardLink);
        const QString target = pathOf("victim");
        const QString path = pathOf("planted.log");
        QFile::remove(target);
        QFile::remove(path);
        if (targetExists) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious\n");
        }
        const QByteArray t = QFile::encodeName(target);
        const QByteArray p = QFile::encodeName(path);
        QCOMPARE(hardLink ? ::link(t.constData(), p.constData()) : ::symlink(t.constData(), p.constData()), 0);

        TraceLog log(path);
        log.sent("AT+CPIN=\"1234\"");
        log.note(QStringLiteral("secret"));
        QVERIFY(!log.isOpen());
        QVERIFY(!log.errorText().isEmpty());
        if (targetExists)
            QCOMPARE(contents(target), QByteArray("precious\n"));
        else
            QVERIFY(!QFile::exists(target));
    }

    void fileOfAnotherUserIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to give a file to another user");
        const QString path = pathOf("foreign.log");
        QFile::remove(path);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        TraceLog log(path);
        log.sent("AT");
        QVERIFY(!log.isOpen());
        QCOMPARE(contents(path), QByteArray());
    }

    // A full disk (a file-size limit fails writes the same way, cutting the one that crosses it
    // short): a record is whole or absent, the failure is told once, and once there is room
    // again the next record is a line of its own behind a note of what was lost.
    void fullDiskKeepsRecordsWhole()
    {
        const QString path = pathOf("full.log");
        QFile::remove(path);
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            ::signal(SIGXFSZ, SIG_DFL);
        });
        ::signal(SIGXFSZ, SIG_IGN);
        QStringList told;
        TraceLog log(path);
        log.setFailureHandler([&](const QString &why) { told << why; });
        log.sent("AT+CSQ");
        const qint64 size = QFileInfo(path).size();
        struct rlimit full = saved;
        full.rlim_cur = rlim_t(size + 20); // the next record gets 20 bytes in
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
        log.sent("AT+CMGL=4");
        log.received("+CMGL: 1,0,,23");
        QCOMPARE(QFileInfo(path).size(), size);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith(path), qPrintable(told.first()));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        log.sent("AT+CPMS?");
        const QList<QByteArray> lines = linesOf(path);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).endsWith("-> AT+CSQ"));
        QVERIFY2(lines.at(1).contains("== 2 trace record(s) before this one could not be written"), lines.at(1).constData());
        QVERIFY(lines.at(2).endsWith("-> AT+CPMS?"));
        QCOMPARE(told.size(), 1);
    }

    // A trace that cannot be opened is told once, also to a handler set afterwards.
    void unwritableTraceIsToldOnce()
    {
        const QString path = pathOf("missing-folder/Pellix.log");
        TraceLog log(path);
        QStringList told;
        log.setFailureHandler([&](const QString &why) { told << why; });
        log.sent("AT");
        log.note(QStringLiteral("connect"));
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith(path) && told.first().contains(QLatin1String("no trace is written")), qPrintable(told.first()));
    }

    void rotatesOnceWhenFull()
    {
        const QString path = pathOf("rotate.log");
        const QString old = path + QStringLiteral(".1");
        QFile::remove(path);
        QFile::remove(old);
        constexpr qint64 Max = 1000;
        TraceLog log(path, Max);
        // Each record: 23 (stamp) + 1 + 2 + 1 + 6 + 1 = 34 bytes.
        for (int i = 0; i < 100; ++i)
            log.sent(QByteArray("AT") + QByteArray::number(1000 + i));
        QVERIFY(QFileInfo(path).size() <= Max);
        QVERIFY(QFileInfo(old).size() <= Max);
        QVERIFY(!QFile::exists(path + QStringLiteral(".2")));
        const QList<QByteArray> current = linesOf(path);
        const QList<QByteArray> previous = linesOf(old);
        QVERIFY(!current.isEmpty() && !previous.isEmpty());
        // Nothing lost between the two files at the rotation point, and the newest line is last.
        QVERIFY(current.last().endsWith("-> AT1099"));
        const int firstCurrent = current.first().right(4).toInt();
        const int lastPrevious = previous.last().right(4).toInt();
        QCOMPARE(firstCurrent, lastPrevious + 1);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0077, mode_t(0)); // the new file is owner-only as well
    }

    // A rotation that cannot happen (here a folder at Pellix.log.1) never cuts what the trace holds.
    void failedRotationKeepsEveryLine()
    {
        const QString path = pathOf("norotate.log");
        const QString old = path + QStringLiteral(".1");
        QFile::remove(path);
        QDir(old).removeRecursively();
        QVERIFY(QDir().mkpath(old + QStringLiteral("/occupied")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot be renamed")));
        {
            TraceLog log(path, 200);
            for (int i = 0; i < 30; ++i)
                log.sent(QByteArray("AT") + QByteArray::number(1000 + i));
            QVERIFY(log.isOpen());
        }
        QDir(old).removeRecursively();
        const QList<QByteArray> lines = linesOf(path);
        QCOMPARE(lines.count(), 31);
        QVERIFY(lines.first().endsWith("-> AT1000"));
        QVERIFY(lines.last().endsWith("-> AT1029"));
        QCOMPARE(int(std::count_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.contains("cannot be renamed"); })), 1);
    }

    void rotationReplacesPlantedLinkAtOldName()
    {
        const QString path = pathOf("rotlink.log");
        const QString old = path + QStringLiteral(".1");
        const QString target = pathOf("rotvictim");
        QFile::remove(path);
        QFile::remove(old);
        QFile::remove(target);
        {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious\n");
        }
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(old).constData()), 0);
        TraceLog log(path, 200);
        for (int i = 0; i < 20; ++i)
            log.sent("AT+CSQ");
        QCOMPARE(contents(target), QByteArray("precious\n"));
        QVERIFY(!QFileInfo(old).isSymLink());
        QVERIFY(log.isOpen());
    }

    void followsRotationByAnotherProgram()
    {
        const QString path = pathOf("shared.log");
        QFile::remove(path);
        QFile::remove(path + QStringLiteral(".1"));
        TraceLog first(path);
        first.sent("first");
        QVERIFY(QFile::rename(path, path + QStringLiteral(".1"))); // as a second console's rotation would
        first.sent("second");
        QVERIFY(linesOf(path).size() == 1 && linesOf(path).first().endsWith("-> second"));
    }
};

QTEST_GUILESS_MAIN(tst_TraceLog)
#include "tst_tracelog.moc"
