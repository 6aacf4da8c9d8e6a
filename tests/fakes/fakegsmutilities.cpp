// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakegsmutilities.h"

PhoneNumber FakeGsmUtilities::CreatePhoneNumber(const QString &number, bool, int numberingPlan)
{
    createdNumbers << number;
    if (createError) {
        const RaisedError error = *createError;
        createError.reset();
        throw error;
    }
    return PhoneNumber{number, numberingPlan};
}
