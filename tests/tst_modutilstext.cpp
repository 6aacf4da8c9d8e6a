// SPDX-License-Identifier: GPL-3.0-or-later
#include "modutilsfixture.h"

class TestModUtilsText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // --- hex conversion
    void hexToString_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty text gives empty bytes") << "" << QByteArray();
        QTest::newRow("two pairs") << "4142" << QByteArray("AB");
        QTest::newRow("lower-case digit") << "4a" << QByteArray("J");
        QTest::newRow("mixed case") << "aBcD" << bytesOf({0xAB, 0xCD});
        QTest::newRow("NUL and high bytes kept") << "00FF7F80" << bytesOf({0x00, 0xFF, 0x7F, 0x80});
        QTest::newRow("header of a concatenated message") << "050003A70201" << bytesOf({5, 0, 3, 0xA7, 2, 1});
    }

    void hexToString()
    {
        QFETCH(QString, hex);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ModUtils::HexToString(hex), bytes);
    }

    void hexToStringRefuses_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("description");
        QTest::newRow("odd number of digits") << "414" << OddLength;
        QTest::newRow("single digit") << "4" << OddLength;
        QTest::newRow("odd length checked before the digits") << "GGG" << OddLength;
        QTest::newRow("letter beyond F") << "41G1" << NotHex;
        QTest::newRow("bad pair after good ones") << "41424Z" << NotHex;
        QTest::newRow("blank inside a pair") << "4 " << NotHex;
        QTest::newRow("blank leading a pair") << " 1" << NotHex;
        QTest::newRow("sign in a pair") << "-1" << NotHex;
        QTest::newRow("plus sign in a pair") << "+F" << NotHex;
        QTest::newRow("hex prefix") << "0x41" << NotHex;
        QTest::newRow("separator making the length odd") << "41:42" << OddLength;
        QTest::newRow("separators between pairs") << "41,42," << NotHex;
        QTest::newRow("line break typed after the digits") << "4142\r\n" << NotHex;
        QTest::newRow("full-width digits are not hex") << QString::fromUtf8("\uFF14\uFF11") << NotHex;
    }

    void hexToStringRefuses()
    {
        QFETCH(QString, hex);
        QFETCH(QString, description);
        const auto e = raisedBy([&] { ModUtils::HexToString(hex); });
        QVERIFY(e);
        QCOMPARE(e->number(), 13);
        QCOMPARE(e->source(), QStringLiteral("Vendrel"));
        QCOMPARE(e->description(), description);
    }

    void stringToHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("codes 0 15 16 255 keep two digits each") << bytesOf({0, 15, 16, 255}) << "000F10FF";
        QTest::newRow("AB") << QByteArray("AB") << "4142";
        QTest::newRow("line feed") << QByteArray("\n") << "0A";
        QTest::newRow("upper-case digits") << bytesOf({0xab, 0xcd, 0xef}) << "ABCDEF";
    }

    void stringToHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hex);
        QCOMPARE(ModUtils::StringToHex(bytes), hex);
    }

    void hexRoundTripOfEveryByte()
    {
        QByteArray all;
        for (int c = 0; c < 256; ++c)
            all.append(char(c));
        const QString hex = ModUtils::StringToHex(all);
        QCOMPARE(hex.size(), 512);
        QCOMPARE(ModUtils::HexToString(hex), all);
        QCOMPARE(ModUtils::HexToString(hex.toLower()), all);
    }

    void hexLengthLimits_data()
    {
        QTest::addColumn<bool>("toBytes");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("description");
        QTest::newRow("hex: 32,766 digits fit") << true << 32766 << 0 << "";
        QTest::newRow("hex: 32,767 is odd before it overflows") << true << 32767 << 13 << OddLength;
        QTest::newRow("hex: 32,768 overflows") << true << 32768 << 6 << "Overflow";
        QTest::newRow("hex: far beyond overflows, not odd") << true << 40001 << 6 << "Overflow";
        QTest::newRow("bytes: 32,766 fit") << false << 32766 << 0 << "";
        QTest::newRow("bytes: 32,767 overflow") << false << 32767 << 6 << "Overflow";
    }

    void hexLengthLimits()
    {
        QFETCH(bool, toBytes);
        QFETCH(int, length);
        QFETCH(int, error);
        QFETCH(QString, description);
        std::optional<RaisedError> e;
        if (toBytes) {
            const QString hex(length, QLatin1Char('A'));
            QByteArray result;
            e = raisedBy([&] { result = ModUtils::HexToString(hex); });
            if (!error)
                QCOMPARE(result.size(), length / 2);
        } else {
            const QByteArray bytes(length, '\x5A');
            QString result;
            e = raisedBy([&] { result = ModUtils::StringToHex(bytes); });
            if (!error)
                QCOMPARE(result.size(), length * 2);
        }
        if (!error) {
            QVERIFY(!e);
            return;
        }
        QVERIFY(e);
        QCOMPARE(e->number(), error);
        QCOMPARE(e->source(), QStringLiteral("Vendrel"));
        QCOMPARE(e->description(), description);
    }

    void formatHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty text shows nothing, no brackets") << QByteArray() << "";
        QTest::newRow("a single NUL") << bytesOf({0}) << "[00]";
        QTest::newRow("AB") << QByteArray("AB") << "[4142]";
    }

    void formatHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(ModUtils::FormatHex(bytes), shown);
    }

    // --- texts
    void properCaseIfLower_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("all lower: each word capitalised") << "huawei e220" << "Huawei E220";
        QTest::newRow("one word") << "wavecom" << "Wavecom";
        QTest::newRow("already proper stays") << "Huawei" << "Huawei";
        QTest::newRow("all capitals stay") << "SIEMENS" << "SIEMENS";
        QTest::newRow("one capital anywhere keeps the whole text") << "sony Ericsson" << "sony Ericsson";
        QTest::newRow("tab separates words") << "acme\tm1" << "Acme\tM1";
        QTest::newRow("line break separates words") << "acme\r\nm1" << "Acme\r\nM1";
        QTest::newRow("NUL separates words") << QString::fromLatin1("acme\0m1", 7) << QString::fromLatin1("Acme\0M1", 7);
        QTest::newRow("repeated blanks kept") << "multiband  900e" << "Multiband  900e";
        QTest::newRow("hyphen joins a word") << "sony-ericsson" << "Sony-ericsson";
        QTest::newRow("leading digit stays, word not split") << "3com modem" << "3com Modem";
        QTest::newRow("accented letter") << QString::fromUtf8("élan") << QString::fromUtf8("Élan");
        QTest::newRow("no letters") << "123 456" << "123 456";
    }

    void properCaseIfLower()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(ModUtils::ProperCaseIfLower(text), shown);
    }

    void trimNullChar_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("path, NUL and blanks gives the path") << QString::fromLatin1("/tmp/x\0   ", 10) << "/tmp/x";
        QTest::newRow("blanks only") << "     " << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only one NUL goes") << QString::fromLatin1("a\0\0", 3) << QString::fromLatin1("a\0", 2);
        QTest::newRow("blank before the NUL stays") << QString::fromLatin1("a \0", 3) << "a ";
        QTest::newRow("tabs are not blanks") << "a\t" << "a\t";
        QTest::newRow("leading blanks stay") << "  a  " << "  a";
        QTest::newRow("NUL alone") << QString(QChar(0)) << "";
    }

    void trimNullChar()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(ModUtils::TrimNullChar(text), trimmed);
    }

    // --- paths
    void getLongPath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = QDir(dir.path()).canonicalPath();
        QVERIFY(QDir(root).mkpath(QStringLiteral("sub/deeper")));
        QFile blankEnd(root + QStringLiteral("/sub/name "));
        QVERIFY(blankEnd.open(QIODevice::WriteOnly));
        blankEnd.close();

        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root));
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });

        QCOMPARE(ModUtils::GetLongPath(root + QStringLiteral("/missing/file")), root + QStringLiteral("/missing/file"));
        QCOMPARE(ModUtils::GetLongPath(QStringLiteral("relative/missing")), QStringLiteral("relative/missing"));
        QCOMPARE(ModUtils::GetLongPath(QString()), QString());
        QCOMPARE(ModUtils::GetLongPath(QStringLiteral("sub/./deeper/../deeper")), root + QStringLiteral("/sub/deeper"));
        QCOMPARE(ModUtils::GetLongPath(root + QStringLiteral("//sub/")), root + QStringLiteral("/sub"));
        // The trim of the long form stops at its end: a name ending in a blank keeps it.
        QCOMPARE(ModUtils::GetLongPath(QStringLiteral("sub/name ")), root + QStringLiteral("/sub/name "));

        // A long form beyond 254 characters is not available: the path comes back as given.
        QString longDir = root;
        while (longDir.size() <= 260)
            longDir += QStringLiteral("/abcdefghijklmnopqrstuvwxyz");
        QVERIFY(QDir().mkpath(longDir));
        const QString uncleaned = longDir + QStringLiteral("/.");
        QCOMPARE(ModUtils::GetLongPath(uncleaned), uncleaned);
    }

    void getTempFolder_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::addColumn<QString>("folder");
        QTest::newRow("trailing separator dropped") << "%1/" << "%1";
        QTest::newRow("several trailing separators") << "%1///" << "%1";
        QTest::newRow("plain") << "%1" << "%1";
        QTest::newRow("root stays a folder") << "/" << "/";
        // Named as it is, so that the log goes nowhere else and its failure names the folder.
        QTest::newRow("a folder that does not exist") << "/nonexistent-vendrel-test//" << "/nonexistent-vendrel-test";
        // A folder that every user shares would give the log to whoever came first.
        QTest::newRow("not set: a folder of the user's own") << "" << QStringLiteral("/tmp/pellix-%1").arg(::geteuid());
    }

    void getTempFolder()
    {
        QFETCH(QString, tmpdir);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray saved = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", saved); });
        const QString path = QDir(dir.path()).canonicalPath();
        if (tmpdir.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", (tmpdir.contains(QLatin1String("%1")) ? tmpdir.arg(path) : tmpdir).toLocal8Bit());
        const QString expected = folder.contains(QLatin1String("%1")) ? folder.arg(path) : folder;
        QCOMPARE(ModUtils::GetTempFolder(), expected);
    }
};

QTEST_MAIN(TestModUtilsText)
#include "tst_modutilstext.moc"
