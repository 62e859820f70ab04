#include "sample_store.h"

#include <algorithm>

namespace {
constexpr std::size_t FanoutMask = (std::size_t(1) << TSampleStore::FanoutBits) - 1;
}

void TSampleStore::ReserveNodes()
{
    // A new, still empty level is harmless to queries: they use a level's
    // nodes only where whole nodes of it lie inside the range.
    for (std::size_t level = 0;; ++level) {
        if (level == m_levels.size())
            m_levels.emplace_back();
        auto& nodes = m_levels[level].Nodes;
        nodes.Reserve();
        if (((nodes.Size() + 1) & FanoutMask) != 0)
            return;
    }
}

void TSampleStore::CloseBlock()
{
    TMinMax node = m_block;
    m_block = TMinMax();
    for (std::size_t level = 0;; ++level) {
        TLevel& current = m_levels[level];
        current.Nodes.PushBack(node);
        if ((current.Nodes.Size() & FanoutMask) != 0) {
            // Not the last child of its parent: remember it for the parent.
            current.Pending.Include(node);
            return;
        }
        // Last child: the parent is complete and goes one level up.
        node = current.Pending;
        node.Include(current.Nodes[current.Nodes.Size() - 1]);
        current.Pending = TMinMax();
    }
}

TMinMax TSampleStore::ScanValues(std::int64_t first, std::int64_t last) const
{
    TMinMax result;
    while (first < last) {
        const float* chunk = m_values.ChunkAt(std::size_t(first));
        const std::int64_t offset = first & std::int64_t(decltype(m_values)::ChunkMask);
        const std::int64_t chunkEnd = first - offset + std::int64_t(decltype(m_values)::ChunkSize);
        const std::int64_t end = last < chunkEnd ? last : chunkEnd;
        // Four of each, so that the comparisons do not wait on each other:
        // a range's ends are up to a block of values each, and a reduction
        // scans them for every pixel column. (Any order finds the same
        // extremes, but for the sign of a zero, which draws alike; NaNs
        // are never taken, as by Include.)
        const float* p = chunk + offset;
        const float* const e = p + (end - first);
        float lo[4] = {result.Min, result.Min, result.Min, result.Min};
        float hi[4] = {result.Max, result.Max, result.Max, result.Max};
        for (; e - p >= 4; p += 4) {
            for (int k = 0; k < 4; ++k) {
                lo[k] = p[k] < lo[k] ? p[k] : lo[k];
                hi[k] = p[k] > hi[k] ? p[k] : hi[k];
            }
        }
        for (; p != e; ++p) {
            lo[0] = *p < lo[0] ? *p : lo[0];
            hi[0] = *p > hi[0] ? *p : hi[0];
        }
        for (int k = 1; k < 4; ++k) {
            lo[0] = lo[k] < lo[0] ? lo[k] : lo[0];
            hi[0] = hi[k] > hi[0] ? hi[k] : hi[0];
        }
        result.Min = lo[0];
        result.Max = hi[0];
        first = end;
    }
    return result;
}

TMinMax TSampleStore::ScanNodes(int level, std::int64_t first, std::int64_t last) const
{
    TMinMax result;
    const auto& nodes = m_levels[std::size_t(level)].Nodes;
    for (std::int64_t i = first; i < last; ++i)
        result.Include(nodes[std::size_t(i)]);
    return result;
}

TMinMax TSampleStore::MinMax(std::int64_t first, std::int64_t last) const
{
    TMinMax result;
    if (first >= last)
        return result;
    // Walk up: at each level, take the partial pieces at both ends at that
    // level's granularity and narrow the range to whole nodes of the next
    // level. Node size in values at level L is 2^(BlockBits + L*FanoutBits);
    // level -1 is the raw values.
    int level = -1;
    std::int64_t lo = first;
    std::int64_t hi = last;  // in units of the current level
    for (;;) {
        const int next = level + 1;
        const unsigned step = level < 0 ? BlockBits : FanoutBits;
        const bool nextExists = next < int(m_levels.size());
        const std::int64_t loUp = nextExists ? ((lo + (std::int64_t(1) << step) - 1) >> step) : 0;
        const std::int64_t hiUp = nextExists ? (hi >> step) : 0;
        if (!nextExists || loUp >= hiUp) {
            result.Include(level < 0 ? ScanValues(lo, hi) : ScanNodes(level, lo, hi));
            return result;
        }
        const std::int64_t loEdge = loUp << step;
        const std::int64_t hiEdge = hiUp << step;
        if (level < 0) {
            result.Include(ScanValues(lo, loEdge));
            result.Include(ScanValues(hiEdge, hi));
        } else {
            result.Include(ScanNodes(level, lo, loEdge));
            result.Include(ScanNodes(level, hiEdge, hi));
        }
        lo = loUp;
        hi = hiUp;
        level = next;
    }
}

void TSampleStore::Prefetch(std::int64_t index) const
{
    const std::size_t size = m_values.Size();
    if (index < 0 || std::size_t(index) >= size)
        return;
    // The block of values: a range edge inside it reads up to all of it.
    const std::size_t block = std::size_t(index) & ~((std::size_t(1) << BlockBits) - 1);
    for (std::size_t i = block; i < block + (std::size_t(1) << BlockBits) && i < size; i += 16)
        __builtin_prefetch(m_values.At(i));
    // The siblings of the node over index at each level, 8 nodes of 8 bytes.
    std::size_t node = std::size_t(index) >> BlockBits;
    for (const TLevel& level : m_levels) {
        const std::size_t first = node & ~FanoutMask;
        if (first >= level.Nodes.Size())
            break;
        __builtin_prefetch(level.Nodes.At(first));
        __builtin_prefetch(level.Nodes.At(std::min(first + FanoutMask, level.Nodes.Size() - 1)));
        node >>= FanoutBits;
    }
}

TSampleStore::TSums TSampleStore::ScanSums(std::int64_t first, std::int64_t last) const
{
    // In doubles, four of each so the additions do not wait on each other:
    // whole values up to 65535 and their squares, added up over the at most
    // 2047 values a query scans, stay far below 2^53 and so are exact.
    double sum[4] = {0, 0, 0, 0};
    double squares[4] = {0, 0, 0, 0};
    while (first < last) {
        const float* chunk = m_values.ChunkAt(std::size_t(first));
        const std::int64_t offset = first & std::int64_t(decltype(m_values)::ChunkMask);
        const std::int64_t chunkEnd = first - offset + std::int64_t(decltype(m_values)::ChunkSize);
        const std::int64_t end = last < chunkEnd ? last : chunkEnd;
        const float* p = chunk + offset;
        const float* const e = p + (end - first);
        for (; e - p >= 4; p += 4) {
            for (int k = 0; k < 4; ++k) {
                const double v = p[k];
                sum[k] += v;
                squares[k] += v * v;
            }
        }
        for (; p != e; ++p) {
            const double v = *p;
            sum[0] += v;
            squares[0] += v * v;
        }
        first = end;
    }
    TSums result;
    result.Sum = std::int64_t((sum[0] + sum[1]) + (sum[2] + sum[3]));
    result.SumOfSquares = std::uint64_t((squares[0] + squares[1]) + (squares[2] + squares[3]));
    return result;
}

TSampleStore::TSums TSampleStore::Sums(std::int64_t first, std::int64_t last) const
{
    if (first >= last)
        return TSums();
    const std::int64_t mask = (std::int64_t(1) << SumBlockBits) - 1;
    const std::int64_t loBlock = (first + mask) >> SumBlockBits;
    const std::int64_t hiBlock = last >> SumBlockBits;
    if (loBlock >= hiBlock)
        return ScanSums(first, last);
    // Whole blocks from the kept sums (every block below hiBlock is
    // complete: its end is at or before last), the ends read directly.
    const TSums below = SumsBefore(loBlock);
    const TSums upTo = SumsBefore(hiBlock);
    const TSums head = ScanSums(first, loBlock << SumBlockBits);
    const TSums tail = ScanSums(hiBlock << SumBlockBits, last);
    TSums result;
    result.Sum = (upTo.Sum - below.Sum) + head.Sum + tail.Sum;
    result.SumOfSquares = (upTo.SumOfSquares - below.SumOfSquares) + head.SumOfSquares + tail.SumOfSquares;
    return result;
}

TValuesSnapshot TSampleStore::Snapshot() const
{
    TValuesSnapshot snapshot;
    const std::size_t count = m_values.Size();
    for (std::size_t i = 0; i < count; i += decltype(m_values)::ChunkSize)
        snapshot.m_chunks.push_back(m_values.ChunkAt(i));
    snapshot.m_count = std::int64_t(count);
    return snapshot;
}

std::pair<const float*, std::int64_t> TValuesSnapshot::Run(std::int64_t index) const
{
    const std::int64_t size = std::int64_t(1) << ChunkBits;
    const std::int64_t offset = index & (size - 1);
    const std::int64_t end = std::min(m_count, index - offset + size);
    return {m_chunks[std::size_t(index >> ChunkBits)] + offset, end - index};
}

void TValuesSnapshot::Copy(std::int64_t first, std::int64_t last, float* out) const
{
    while (first < last) {
        const auto [values, available] = Run(first);
        const std::int64_t n = std::min(available, last - first);
        std::copy(values, values + n, out);
        out += n;
        first += n;
    }
}
