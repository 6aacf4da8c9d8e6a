// SPDX-License-Identifier: GPL-3.0-or-later
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The bash completion of pellix, as bash runs it on a Tab: what it offers after the words typed,
// read from the built pellix's own --help.
class TestCompletion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void offers_data();
    void offers();

private:
    static QStringList complete(const QStringList &typed);
};

QStringList TestCompletion::complete(const QStringList &typed)
{
    // COMP_WORDS as bash splits the line; the last word is the one being completed.
    QString words;
    for (const QString &word : typed)
        words += QLatin1Char('\'') + word + QStringLiteral("' ");
    const QString script = QStringLiteral("source '%1' && COMP_WORDS=('%2' %3) && COMP_CWORD=%4 && _pellix && "
                                          "printf '%s\\n' \"${COMPREPLY[@]}\"")
                               .arg(QStringLiteral(PELLIX_COMPLETION), QStringLiteral(PELLIX_CLI), words)
                               .arg(typed.size());
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), script});
    if (!bash.waitForFinished(20000) || bash.exitCode() != 0) {
        qWarning("%s", bash.readAllStandardError().constData());
        return {QStringLiteral("(bash failed)")};
    }
    return QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestCompletion::offers_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("offered"); // among what is offered
    QTest::addColumn<QStringList>("notOffered");
    QTest::newRow("commands") << QStringList{""} << QStringList{"ports", "send", "phonebook", "monitor", "at"} << QStringList{"--json"};
    QTest::newRow("a command's start") << QStringList{"se"} << QStringList{"send"} << QStringList{"signal", "sms"};
    QTest::newRow("after a flag") << QStringList{"--json", ""} << QStringList{"identify"} << QStringList{};
    QTest::newRow("after an option's value") << QStringList{"--timeout", "5", "si"} << QStringList{"signal"} << QStringList{"5"};
    QTest::newRow("a command's words") << QStringList{"--type", "-1", "phonebook", ""} << QStringList{"list", "write", "delete"}
                                       << QStringList{"send"};
    QTest::newRow("one word only") << QStringList{"sms", "list", ""} << QStringList{} << QStringList{"list", "delete"};
    QTest::newRow("global options") << QStringList{"--"} << QStringList{"--port", "--device", "--type", "--json", "--version"}
                                    << QStringList{"--alphabet"};
    QTest::newRow("a command's options") << QStringList{"send", "--"} << QStringList{"--alphabet", "--wait-report", "--port"}
                                         << QStringList{"--probe"};
    QTest::newRow("alphabets") << QStringList{"send", "--alphabet", ""} << QStringList{"7", "8", "16"} << QStringList{"send"};
    QTest::newRow("forwarding reasons") << QStringList{"forward", "set", "--reason", ""} << QStringList{"0", "1", "2", "3"}
                                        << QStringList{};
    QTest::newRow("modem types") << QStringList{"--type", ""} << QStringList{"-1", "0"} << QStringList{};
    QTest::newRow("device paths") << QStringList{"--device", "/dev/pt"} << QStringList{"/dev/pts", "/dev/ptmx"} << QStringList{};
    // "--name=value": bash splits the line at "=" (COMP_WORDBREAKS), and readline completes what
    // follows it.
    QTest::newRow("after --name=value") << QStringList{"--type", "=", "-1", "phonebook", ""}
                                        << QStringList{"list", "write", "delete"} << QStringList{"send"};
    QTest::newRow("a value after =") << QStringList{"send", "--alphabet", "=", "1"} << QStringList{"16"}
                                     << QStringList{"7", "8", "--alphabet=16"};
    QTest::newRow("a value right after =") << QStringList{"forward", "set", "--reason", "="} << QStringList{"0", "3"}
                                           << QStringList{"list"};
}

void TestCompletion::offers()
{
    QFETCH(QStringList, typed);
    QFETCH(QStringList, offered);
    QFETCH(QStringList, notOffered);
    const QStringList got = complete(typed);
    QVERIFY(!got.contains(QStringLiteral("(bash failed)")));
    for (const QString &word : offered)
        QVERIFY2(got.contains(word), qPrintable(word + QLatin1String(" not in: ") + got.join(QLatin1Char(' '))));
    for (const QString &word : notOffered)
        QVERIFY2(!got.contains(word), qPrintable(word + QLatin1String(" in: ") + got.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TestCompletion)
#include "tst_completion.moc"
