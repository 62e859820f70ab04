#pragma once
// How far apart in time neighbouring points of one axis are, at most, over
// any range of them: the longest gap in blocks of 64 points, and in ever
// larger groups of blocks above them, as the sample store keeps minima and
// maxima. A chart drawing over time asks it, per pixel column, whether
// every point there is within a step of the rasteriser's grid of the one
// before (column_reduction.h), in O(log N). A gap across an opening of the
// port is not counted: no line joins those points.
//
// The gaps are kept as upper bounds in one byte each, about 9% apart from
// a microsecond to about an hour; longer ones are unbounded. So the answer
// is an upper bound, and for a range that takes part of a block, one of
// the whole block.
//
// Appends are exception-safe: Reserve() allocates what the next Append
// needs and may throw, changing nothing. Qt-free.

#include "chunked_array.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

class TAxisGaps {
public:
    static constexpr unsigned BlockBits = 6;   // 64 points per node of level 0
    static constexpr unsigned FanoutBits = 3;  // 8 children per higher node
    static constexpr std::int64_t Unbounded = std::numeric_limits<std::int64_t>::max();

    void Reserve()
    {
        if (ClosesBlock())
            ReserveNodes();
    }
    // The next point came at timeUs; afterStop: the first after the port
    // opened again, joined to nothing before it.
    void Append(std::int64_t timeUs, bool afterStop)
    {
        Reserve();
        const std::int64_t gap = m_count == 0 || afterStop ? 0 : timeUs - m_lastUs;
        if (gap > m_block)
            m_block = gap;
        m_lastUs = timeUs;
        const bool closes = ClosesBlock();
        ++m_count;
        if (closes)
            CloseBlock();
    }

    std::int64_t Count() const { return m_count; }
    // At least the longest time between a point of (first, last] and the
    // one before it (0 <= first <= last < Count()); Unbounded when too long
    // to say.
    std::int64_t MaxGapUs(std::int64_t first, std::int64_t last) const;

    std::size_t HeldBytes() const
    {
        std::size_t bytes = m_levels.capacity() * sizeof(TLevel);
        for (const TLevel& level : m_levels)
            bytes += level.Nodes.HeldBytes();
        return bytes;
    }

    // The code of a gap, and the longest gap of a code.
    static std::uint8_t Code(std::int64_t gapUs);
    static std::int64_t Bound(std::uint8_t code);

private:
    struct TLevel {
        TChunkedArray<std::uint8_t, 16> Nodes;
        std::uint8_t Pending = 0;  // fold of the complete children of the next node
    };

    bool ClosesBlock() const { return ((m_count + 1) & ((std::int64_t(1) << BlockBits) - 1)) == 0; }
    void ReserveNodes();
    void CloseBlock();
    std::uint8_t Scan(int level, std::int64_t first, std::int64_t last) const;

    std::int64_t m_count = 0;
    std::int64_t m_lastUs = 0;
    std::int64_t m_block = 0;  // the block being filled
    std::vector<TLevel> m_levels;
};
