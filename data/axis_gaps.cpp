#include "axis_gaps.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Bounds about 9% apart: 0, 1, 2, 3, ... up to about an hour; the last
// code stands for anything longer.
const std::array<std::int64_t, 256>& Bounds()
{
    static const std::array<std::int64_t, 256> bounds = [] {
        std::array<std::int64_t, 256> b{};
        b[0] = 0;
        for (std::size_t c = 1; c < 255; ++c)
            b[c] = std::max(b[c - 1] + 1, std::int64_t(std::ceil(std::pow(1.09, double(c - 1)))));
        b[255] = TAxisGaps::Unbounded;
        return b;
    }();
    return bounds;
}

}  // namespace

std::uint8_t TAxisGaps::Code(std::int64_t gapUs)
{
    const std::array<std::int64_t, 256>& bounds = Bounds();
    return std::uint8_t(std::lower_bound(bounds.begin(), bounds.end(), gapUs) - bounds.begin());
}

std::int64_t TAxisGaps::Bound(std::uint8_t code)
{
    return Bounds()[code];
}

void TAxisGaps::ReserveNodes()
{
    // Closing a block writes a node on level 0 and on every level above
    // where it completes the eighth child of a node. A level made here and
    // left empty by a failure is harmless.
    std::int64_t nodes = (m_count + 1) >> BlockBits;  // on level 0 once closed
    for (std::size_t level = 0;; ++level) {
        if (level == m_levels.size())
            m_levels.emplace_back();
        m_levels[level].Nodes.Reserve();
        if ((nodes & ((std::int64_t(1) << FanoutBits) - 1)) != 0)
            return;
        nodes >>= FanoutBits;
    }
}

void TAxisGaps::CloseBlock()
{
    std::uint8_t code = Code(m_block);
    m_block = 0;
    for (std::size_t level = 0;; ++level) {
        TLevel& current = m_levels[level];
        current.Nodes.PushBack(code);
        current.Pending = std::max(current.Pending, code);
        if ((current.Nodes.Size() & ((std::size_t(1) << FanoutBits) - 1)) != 0)
            return;
        // The eighth child: its parent is complete.
        code = current.Pending;
        current.Pending = 0;
    }
}

std::uint8_t TAxisGaps::Scan(int level, std::int64_t first, std::int64_t last) const
{
    if (first >= last)
        return 0;
    const TLevel& nodes = m_levels[std::size_t(level)];
    std::uint8_t code = 0;
    if (std::size_t(level) + 1 < m_levels.size()) {
        // The parents wholly inside, from the level above.
        const std::int64_t parentFirst = (first + 7) >> FanoutBits;
        const std::int64_t parentLast
            = std::min<std::int64_t>(last >> FanoutBits, std::int64_t(m_levels[std::size_t(level) + 1].Nodes.Size()));
        if (parentFirst < parentLast) {
            for (std::int64_t i = first; i < (parentFirst << FanoutBits); ++i)
                code = std::max(code, nodes.Nodes[std::size_t(i)]);
            code = std::max(code, Scan(level + 1, parentFirst, parentLast));
            for (std::int64_t i = parentLast << FanoutBits; i < last; ++i)
                code = std::max(code, nodes.Nodes[std::size_t(i)]);
            return code;
        }
    }
    for (std::int64_t i = first; i < last; ++i)
        code = std::max(code, nodes.Nodes[std::size_t(i)]);
    return code;
}

std::int64_t TAxisGaps::MaxGapUs(std::int64_t first, std::int64_t last) const
{
    if (last <= first)
        return 0;
    // The gaps of points first + 1 to last, by their blocks.
    const std::int64_t blockFirst = (first + 1) >> BlockBits;
    const std::int64_t blockLast = last >> BlockBits;
    const std::int64_t complete = m_levels.empty() ? 0 : std::int64_t(m_levels[0].Nodes.Size());
    const std::uint8_t code = m_levels.empty() ? 0 : Scan(0, blockFirst, std::min(blockLast + 1, complete));
    std::int64_t bound = Bound(code);
    if (blockLast >= complete)
        bound = std::max(bound, m_block);
    return bound;
}
