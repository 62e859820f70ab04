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
//
// Sums: the sum and the sum of squares of every value up to the end of each
// complete run of 1024 values (16 bytes per 1024 values, so 0.016 bytes per
// point), so the sums of any range are a difference of two of them plus at
// most two partial runs read directly. They are kept as integers while
// every value is a whole number of magnitude up to 65535 (readings are
// 12-bit): integer sums are exact however many values they add, where
// doubles would start rounding the sum of squares of 12-bit readings
// after about 5e8 of them. The sum of squares is kept modulo 2^64, which
// makes the difference of two exact as long as the range's own sum is
// below 2^64: more than 2^31 values even at the largest magnitude.

#include "chunked_array.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
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

// The values a store held at one moment, readable on another thread while
// the store goes on growing: a value is never moved nor changed once
// appended, so the snapshot needs only the address of each chunk. It must
// be made on the appending thread and reach the reader through something
// that orders memory (a mutex, a queued call); the store must outlive it.
class TValuesSnapshot {
public:
    static constexpr unsigned ChunkBits = 16;

    TValuesSnapshot() = default;

    std::int64_t Count() const { return m_count; }
    float Value(std::int64_t index) const
    {
        return m_chunks[std::size_t(index >> ChunkBits)][index & ((std::int64_t(1) << ChunkBits) - 1)];
    }
    // The values from index on that lie together in memory: their address
    // and how many there are (at least one; 0 <= index < Count()).
    std::pair<const float*, std::int64_t> Run(std::int64_t index) const;
    // Copies the values [first, last) to out; 0 <= first <= last <= Count().
    void Copy(std::int64_t first, std::int64_t last, float* out) const;

private:
    friend class TSampleStore;
    std::vector<const float*> m_chunks;
    std::int64_t m_count = 0;
};

class TSampleStore {
public:
    static constexpr unsigned BlockBits = 6;   // 64 values per level-0 node
    static constexpr unsigned FanoutBits = 3;  // 8 children per higher node
    static constexpr unsigned SumBlockBits = 10;  // 1024 values per kept sum
    static constexpr float MaxSummable = 65535;

    // Sums of the values of a range, exact while Summable(): SumOfSquares
    // is the true sum, the range's own, modulo 2^64.
    struct TSums {
        std::int64_t Sum = 0;
        std::uint64_t SumOfSquares = 0;
    };

    // Makes room for one more value: every allocation the next Append
    // needs. Throws std::bad_alloc, leaving the store as it was.
    void Reserve()
    {
        m_values.Reserve();
        if (ClosesBlock())
            ReserveNodes();
        if (ClosesSumBlock())
            m_sums.Reserve();
    }

    // Appends one value. When it throws (std::bad_alloc), the store is left
    // as it was; after Reserve() it does not throw.
    void Append(float value)
    {
        Reserve();
        const bool closes = ClosesBlock();
        const bool closesSums = ClosesSumBlock();
        m_values.PushBack(value);
        m_block.Include(value);
        if (!IsWhole(value)) {
            m_integral = false;
            m_summable = false;
        } else if (!(std::fabs(value) <= MaxSummable)) {
            m_summable = false;
        }
        if (m_summable) {
            const std::int64_t v = std::int64_t(value);
            m_total.Sum += v;
            m_total.SumOfSquares += std::uint64_t(v * v);
        }
        if (closesSums)
            m_sums.PushBack(m_total);
        if (closes)
            CloseBlock();
    }

    std::int64_t Count() const { return std::int64_t(m_values.Size()); }
    // True while every value appended is a whole number (as readings are):
    // consecutive values then differ by 0 or by at least 1.
    bool Integral() const { return m_integral; }
    float Value(std::int64_t index) const { return m_values[std::size_t(index)]; }
    // True while every value appended is a whole number of magnitude up to
    // MaxSummable: Sums() is then exact.
    bool Summable() const { return m_summable; }
    // Sum and sum of squares of the values with index in [first, last), in
    // O(1) plus at most 2 x 1023 values read. Requires Summable() and
    // 0 <= first <= last <= Count().
    TSums Sums(std::int64_t first, std::int64_t last) const;
    // The values held now, for reading on another thread.
    TValuesSnapshot Snapshot() const;

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
    bool ClosesSumBlock() const { return ((m_values.Size() + 1) & ((std::size_t(1) << SumBlockBits) - 1)) == 0; }
    // Room for the nodes that closing the block writes, on every level the
    // carry reaches.
    void ReserveNodes();
    // Writes the completed block's node and its completed ancestors; needs
    // ReserveNodes() first and then cannot throw.
    void CloseBlock();
    TMinMax ScanValues(std::int64_t first, std::int64_t last) const;
    TMinMax ScanNodes(int level, std::int64_t first, std::int64_t last) const;
    TSums ScanSums(std::int64_t first, std::int64_t last) const;
    // Sums of the values before the complete sum block `block` begins.
    TSums SumsBefore(std::int64_t block) const { return block == 0 ? TSums() : m_sums[std::size_t(block - 1)]; }

    TChunkedArray<float, TValuesSnapshot::ChunkBits> m_values;
    TMinMax m_block;  // the block being filled
    bool m_integral = true;
    std::vector<TLevel> m_levels;
    bool m_summable = true;
    TSums m_total;  // of every value so far
    // m_sums[i]: of the values up to the end of sum block i.
    TChunkedArray<TSums, 10> m_sums;
};
