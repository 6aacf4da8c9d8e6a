// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/pellixutilities.h"
#include "pellixerror.h"
#include "raisederrorcode.h"
#include "profiles/pellixini.h"
#include "transport/comports.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pellix;

class tst_PellixUtilities : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void acceptedNumbers_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("validate");
        QTest::addColumn<int>("plan");
        QTest::addColumn<QString>("number");
        QTest::newRow("international") << "+393481234567" << true << 1 << "+393481234567";
        QTest::newRow("national") << "03481234567" << true << 1 << "03481234567";
        QTest::newRow("blanks around are dropped") << "  +4917012345 \t" << true << 1 << "+4917012345";
        QTest::newRow("service code with * and #") << "*100#" << true << 1 << "*100#";
        QTest::newRow("single digit") << "5" << true << 1 << "5";
        QTest::newRow("twenty digits after +") << "+12345678901234567890" << true << 1 << "+12345678901234567890";
        QTest::newRow("numbering plan passed on") << "112" << true << 9 << "112";
        QTest::newRow("unvalidated text kept as given") << "Vodafone" << false << 0 << "Vodafone";
        QTest::newRow("unvalidated still trimmed") << " 12 34 " << false << 1 << "12 34";
    }
    void acceptedNumbers()
    {
        QFETCH(QString, input);
        QFETCH(bool, validate);
        QFETCH(int, plan);
        QFETCH(QString, number);
        PellixUtilities utilities;
        const PhoneNumber result = utilities.CreatePhoneNumber(input, validate, plan);
        QCOMPARE(result.Number, number);
        QCOMPARE(result.NumberingPlan, plan);
    }

    void refusedNumbers_data()
    {
        QTest::addColumn<QString>("input");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("plus alone") << "+";
        QTest::newRow("blank inside") << "+39 348 1234567";
        QTest::newRow("dash inside") << "0348-1234567";
        QTest::newRow("second plus") << "+39+348";
        QTest::newRow("plus not leading") << "39+348";
        QTest::newRow("double plus") << "++39348";
        QTest::newRow("letters") << "1-800-FLOWERS";
        QTest::newRow("full-width digits") << QString::fromUtf8("\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93");
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\xD9\xA1\xD9\xA2\xD9\xA3");
        QTest::newRow("tab inside") << "123\t456";
        QTest::newRow("parentheses") << "(0348)1234567";
        QTest::newRow("more than twenty digits") << "123456789012345678901";
        QTest::newRow("pause character") << "0348,1234";
    }
    void refusedNumbers()
    {
        QFETCH(QString, input);
        PellixUtilities utilities;
        try {
            utilities.CreatePhoneNumber(input, true, 1);
            QFAIL("accepted");
        } catch (const RaisedError &e) {
            QCOMPARE(e.number(), code(ErrorCode::InvalidPhoneNumber));
            QVERIFY2(e.description().contains(QLatin1Char('"') + input + QLatin1Char('"')), qPrintable(e.description()));
        }
    }

    void numberingPlanOutOfRange_data()
    {
        QTest::addColumn<int>("plan");
        QTest::newRow("negative") << -1;
        QTest::newRow("beyond four bits") << 16;
    }
    void numberingPlanOutOfRange()
    {
        QFETCH(int, plan);
        PellixUtilities utilities;
        for (bool validate : {true, false}) {
            try {
                utilities.CreatePhoneNumber(QStringLiteral("123"), validate, plan);
                QFAIL("accepted");
            } catch (const RaisedError &e) {
                QCOMPARE(e.number(), code(ErrorCode::InvalidArgument));
            }
        }
    }

    void comPortsCountsPortsOverrides()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString device = dir.filePath(QStringLiteral("modem"));
        QFile(device).open(QIODevice::WriteOnly);
        const QString ini = dir.filePath(QStringLiteral("Pellix.ini"));
        {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Ports]\nCOM250=" + device.toUtf8() + "\n");
        }
        PellixUtilities utilities(ini);
        const QList<int> ports = utilities.ComPorts();
        QVERIFY(ports.contains(250));
        QCOMPARE(ports, comPorts(PellixIni::load(ini)));
    }
};

QTEST_GUILESS_MAIN(tst_PellixUtilities)
#include "tst_pellixutilities.moc"
