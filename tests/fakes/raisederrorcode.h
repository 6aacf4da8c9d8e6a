// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pellixerror.h"
#include "raisederror.h"

#include <functional>
#include <optional>

// Raised errors by number, as the console sees them. The base is written out rather than taken
// from the library, so that a wrong number there is caught too.
inline constexpr qint32 LibraryBase = qint32(0x80040000u);

inline qint32 code(pellix::ErrorCode c)
{
    return LibraryBase + qint32(c);
}

// Runs f and returns the number of the error it raised, 0 when it raised none.
inline qint32 errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const RaisedError &error) {
        return error.number();
    }
    return 0;
}

// Runs f and returns the error it raised, with its source and description, nullopt when none.
template <typename F>
std::optional<RaisedError> raisedBy(F &&f)
{
    try {
        f();
    } catch (const RaisedError &error) {
        return error;
    }
    return std::nullopt;
}
