#pragma once
// Readings like the device's for the store and reduction tests: 12-bit
// values with stretches that repeat the previous one, as held values do.

#include "sample_store.h"

#include <cstdint>
#include <random>
#include <vector>

inline TSampleStore MakeStore(const std::vector<float>& values)
{
    TSampleStore store;
    for (float v : values)
        store.Append(v);
    return store;
}

inline std::vector<float> RandomReadings(std::mt19937& rng, std::int64_t count)
{
    std::uniform_int_distribution<int> reading(0, 4095);
    std::uniform_int_distribution<int> hold(0, 9);
    std::vector<float> values;
    values.reserve(std::size_t(count));
    for (std::int64_t i = 0; i < count; ++i) {
        if (i > 0 && hold(rng) == 0)
            values.push_back(values.back());
        else
            values.push_back(float(reading(rng)));
    }
    return values;
}
