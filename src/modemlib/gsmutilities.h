// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "smsobjects.h"

#include <QList>

// The library's global helpers. The console receives the one instance by reference, so that
// tests can put a scripted one in its place.
class GsmUtilities
{
public:
    virtual ~GsmUtilities() = default;

    // Makes the recipient of an outgoing message. validate: refuse anything but an optional
    // leading "+" and the dial characters 0-9 * # (raises the invalid-number library error);
    // numberingPlan: TS 23.040 numbering plan, 1 = ISDN/E.164.
    virtual PhoneNumber CreatePhoneNumber(const QString &number, bool validate, int numberingPlan) = 0;

    // Numbers n of the serial ports "COM"n present on this machine, in ascending order.
    virtual QList<int> ComPorts() = 0;

    // What the system knows of serial port "COM"n, on one line (its device, USB ids, maker and
    // product, serial number, stable name, the program holding it), for an operator who must
    // tell a USB modem's several ports apart; empty when nothing (no such port).
    virtual QString PortDescription(int n) = 0;
};
