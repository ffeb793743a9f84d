#pragma once

#include <QtGlobal>

#include <initializer_list>

/// \brief The simulator's source of chance: the same seed gives the same site on every platform.
///
/// SplitMix64 with its own uniform helpers, because the standard distributions may differ
/// between library implementations.
class SimRandom
{
public:
    explicit SimRandom(quint64 seed)
        : m_state(seed)
    {
    }

    /// An independent stream for one part of the site (a house, a day, the operators).
    static SimRandom stream(quint64 seed, quint64 a, quint64 b = 0, quint64 c = 0)
    {
        SimRandom r(seed);
        r.m_state = r.next() ^ (a * 0x9E3779B97F4A7C15ull);
        r.m_state = r.next() ^ (b * 0xC2B2AE3D27D4EB4Full);
        r.m_state = r.next() ^ (c * 0x165667B19E3779F9ull);
        return r;
    }

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    /// Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    /// Uniform whole number in [low, high].
    int range(int low, int high)
    {
        return low + static_cast<int>(unit() * (static_cast<double>(high) - low + 1));
    }

    bool chance(double probability) { return unit() < probability; }

    /// One of \a values, each equally likely.
    int pick(std::initializer_list<int> values)
    {
        return values.begin()[range(0, static_cast<int>(values.size()) - 1)];
    }

    /// The index of the weight drawn, each index with a chance in proportion to its weight.
    int weighted(std::initializer_list<double> weights)
    {
        double total = 0;
        for (double w : weights)
            total += w;
        double x = unit() * total;
        int i = 0;
        for (double w : weights) {
            if (x < w)
                return i;
            x -= w;
            ++i;
        }
        return i - 1;
    }

private:
    quint64 m_state;
};
