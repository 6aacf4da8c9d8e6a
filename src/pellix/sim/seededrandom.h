// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

namespace pellix::sim {

// SplitMix64: the same sequence for a seed on every compiler and library, which the standard
// distributions do not promise; the virtual modem's tests depend on that.
class SeededRandom
{
public:
    explicit SeededRandom(quint64 seed) : m_state(seed) {}

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [low, high]; the modulo bias is irrelevant for ranges this small.
    int between(int low, int high)
    {
        if (high <= low)
            return low;
        return low + int(next() % quint64(high - low + 1));
    }

    // True with the given percentage.
    bool chance(int percent) { return between(0, 99) < percent; }

private:
    quint64 m_state;
};

} // namespace pellix::sim
