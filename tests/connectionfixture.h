// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "connectioncontroller.h"
#include "consolerig.h"
#include "frmvendrel.h"
#include "connection/modemfactory.h"
#include "reportlistbox.h"
#include "reportlog.h"
#include "signalmonitor.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>


const QString Stamp = QStringLiteral("12:00:00  ");

struct Rig : ConsoleRig<>
{
    explicit Rig(const QHash<QString, QString> &stored = {}, std::function<std::unique_ptr<GsmModem>()> makeModem = {})
    {
        Setup setup;
        setup.stored = stored;
        setup.makeModem = std::move(makeModem);
        build(std::move(setup));
        console->reportLog().setClock([] { return QTime(12, 0); });
        if (modem)
            modem->clearCalls();
    }

    ConnectionController &connection() const { return *console->connection(); }
    // The members that make up a connect, in the order they were called.
    QStringList connectSequence() const
    {
        QStringList seq;
        for (const FakeGsmModem::Call &call : modem->calls()) {
            if (call.member.startsWith(QLatin1String("set ")) || call.member == QLatin1String("Connect")
                || call.member == QLatin1String("Disconnect")) {
                QStringList args;
                for (const QVariant &arg : call.args)
                    args << arg.toString();
                seq << call.member + QLatin1Char('(') + args.join(QLatin1Char(',')) + QLatin1Char(')');
            }
        }
        return seq;
    }
    void connectModem() const
    {
        view().cmdConnect->click();
        QCOMPARE(modem->status, 2);
    }
};

inline bool pointerIsBusy()
{
    const QCursor *cursor = QApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

// What every part of these tests starts from and leaves behind.
class ConnectionFixture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
};

inline void ConnectionFixture::cleanup()
{
    // Every handler restores the normal pointer, whichever way it ended.
    const bool leftBusy = QApplication::overrideCursor() != nullptr;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    QVERIFY(!leftBusy);
}
