// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gsmutilities.h"
#include "raisederror.h"

#include <QHash>
#include <QStringList>

#include <optional>

// Scripted global helpers: the ports it lists and what it knows of them, the numbers it was asked to make.
class FakeGsmUtilities : public GsmUtilities
{
public:
    QList<int> ports;
    QHash<int, QString> portDescriptions; // by COM number; absent: nothing known
    QStringList createdNumbers;
    std::optional<RaisedError> createError; // raised by the next CreatePhoneNumber

    PhoneNumber CreatePhoneNumber(const QString &number, bool validate, int numberingPlan) override;
    QList<int> ComPorts() override { return ports; }
    QString PortDescription(int n) override { return portDescriptions.value(n); }
};
