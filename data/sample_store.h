#pragma once
// The values of one axis, with a min/max pyramid over them.
//
// X is implicit: the value at index i is the point with X = i. Values are
// kept as 4-byte floats in a chunked array, which is lossless for every
// integer of magnitude up to 2^24 and so for every 12-bit reading.
//
// The pyramid: level 0 holds the minimum and maximum of each complete block
// of BlockSize values; each higher level holds those of Fanout consecutive
// complete nodes of the level below. A node is written when its last child
// completes, so an append costs O(1) amortised. Only complete nodes are
// stored; a range query uses a node only when the node lies wholly inside
// the range, which makes every node it uses complete. The minimum and
// maximum of any index range then come from O(levels) nodes plus at most
// two partial blocks of raw values.

#include "chunked_array.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

struct TMinMax {
    float Min = std::numeric_limits<float>::infinity();
    float Max = -std::numeric_limits<float>::infinity();

    bool Empty() const { return Min > Max; }
    void Include(float value)
    {
        if (value < Min)
            Min = value;
        if (value > Max)
            Max = value;
    }
    void Include(const TMinMax& other)
    {
        if (other.Min < Min)
            Min = other.Min;
        if (other.Max > Max)
            Max = other.Max;
    }
};

class TSampleStore {
public:
    static constexpr unsigned BlockBits = 6;   // 64 values per level-0 node
    static constexpr unsigned FanoutBits = 3;  // 8 children per higher node

    // Makes room for one more value: every allocation the next Append
    // needs. Throws std::bad_alloc, leaving the store as it was.
    void Reserve()
    {
        m_values.Reserve();
        if (ClosesBlock())
            ReserveNodes();
    }

    // Appends one value. When it throws (std::bad_alloc), the store is left
    // as it was; after Reserve() it does not throw.
    void Append(float value)
    {
        Reserve();
        const bool closes = ClosesBlock();
        m_values.PushBack(value);
        m_block.Include(value);
        if (!IsWhole(value))
            m_integral = false;
        if (closes)
            CloseBlock();
    }

    std::int64_t Count() const { return std::int64_t(m_values.Size()); }
    // True while every value appended is a whole number (as readings are):
    // consecutive values then differ by 0 or by at least 1.
    bool Integral() const { return m_integral; }
    float Value(std::int64_t index) const { return m_values[std::size_t(index)]; }

    // Minimum and maximum of the values with index in [first, last).
    // Empty when the range is empty. Requires 0 <= first, last <= Count().
    TMinMax MinMax(std::int64_t first, std::int64_t last) const;

    // A hint that MinMax and Value will soon read around index, as at the
    // edge of a range: asks the memory system for the values of its block
    // and the pyramid nodes over it, so that reads of many places far
    // apart wait for memory together rather than one after another.
    // Indexes outside [0, Count()) are ignored.
    void Prefetch(std::int64_t index) const;
    // The same for the value at index alone (0 <= index < Count()).
    void PrefetchValue(std::int64_t index) const { __builtin_prefetch(m_values.At(std::size_t(index))); }

    // Number of pyramid levels currently holding nodes (for tests).
    int Levels() const { return int(m_levels.size()); }

    // Memory held by the values and the pyramid, in bytes.
    std::size_t HeldBytes() const
    {
        std::size_t bytes = m_values.HeldBytes() + m_levels.capacity() * sizeof(TLevel);
        for (const TLevel& level : m_levels)
            bytes += level.Nodes.HeldBytes();
        return bytes;
    }

private:
    struct TLevel {
        TChunkedArray<TMinMax, 12> Nodes;
        TMinMax Pending;  // fold of the complete children of the next node
    };

    // Without a call to the C library: every float from 2^23 up is whole.
    static bool IsWhole(float value)
    {
        if (value != value)
            return false;
        return !(std::fabs(value) < 8388608.0f) || float(std::int32_t(value)) == value;
    }
    // True when the next value completes a block.
    bool ClosesBlock() const { return ((m_values.Size() + 1) & ((std::size_t(1) << BlockBits) - 1)) == 0; }
    // Room for the nodes that closing the block writes, on every level the
    // carry reaches.
    void ReserveNodes();
    // Writes the completed block's node and its completed ancestors; needs
    // ReserveNodes() first and then cannot throw.
    void CloseBlock();
    TMinMax ScanValues(std::int64_t first, std::int64_t last) const;
    TMinMax ScanNodes(int level, std::int64_t first, std::int64_t last) const;

    TChunkedArray<float, 16> m_values;
    TMinMax m_block;  // the block being filled
    bool m_integral = true;
    std::vector<TLevel> m_levels;
};
