#pragma once
// The spectrum of one axis over a range that changes, recomputing only
// what changed.
//
// A range's segments start at Origin + j L/2. For a range seen once (a view
// the user set) the origin is the range's first point, as Welch's method
// has it. For a range that grows or slides with the newest points (the
// whole history, or a view following them), the origin is 0: segments
// then keep their places as the range moves, so an update transforms only
// the segments that came into the range and takes back those that left,
// and a range that moved by less than L/2 needs no transform at all. Such a
// range uses at most one segment fewer than one anchored at its start, and
// a segment length whose grid holds no whole segment is halved.
//
// Updates can be cancelled between two segments; the sums then hold a
// contiguous run of the segments, consistent, and the next update goes on
// from there.
// Qt-free.

#include "sample_store.h"
#include "spectrum.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// What an update may be told and tell: a flag that asks it to stop, and the
// segments transformed so far out of those it has to.
struct TWorkControl {
    const std::atomic<bool>* Cancel = nullptr;
    std::function<void(std::int64_t done, std::int64_t total)> Progress;

    bool Cancelled() const { return Cancel && Cancel->load(std::memory_order_relaxed); }
};

struct TSpectrumRange {
    std::int64_t First = 0;
    std::int64_t Last = 0;
    int ChosenLength = spectrum::DefaultSegmentLength;
    bool Moving = false;  // grows or slides with the newest points

    bool operator==(const TSpectrumRange& other) const
    {
        return First == other.First && Last == other.Last && ChosenLength == other.ChosenLength
               && Moving == other.Moving;
    }
};

// Where the segments of a range lie: [Origin + j Hop, + Length) for j in
// [FirstSegment, EndSegment).
struct TSegmentPlan {
    int Length = 0;
    std::int64_t Origin = 0;
    std::int64_t FirstSegment = 0;
    std::int64_t EndSegment = 0;

    std::int64_t Hop() const { return Length / 2; }
    std::int64_t Count() const { return EndSegment - FirstSegment; }
    std::int64_t Start(std::int64_t segment) const { return Origin + segment * Hop(); }
    bool operator==(const TSegmentPlan& other) const
    {
        return Length == other.Length && Origin == other.Origin && FirstSegment == other.FirstSegment
               && EndSegment == other.EndSegment;
    }
};

TSegmentPlan PlanSegments(const TSpectrumRange& range);

class TSpectrumTracker {
public:
    // Brings the sums to the segments of range, reading values (which must
    // hold them); offset is used when the sums start afresh (the range's
    // mean will do). False when cancelled first.
    bool Update(const TValuesSnapshot& values, const TSpectrumRange& range, float offset, const TWorkControl& control);
    // Segments to transform for such an update (for progress over several).
    std::int64_t WorkFor(const TSpectrumRange& range) const;

    // The segments the sums hold.
    const TSegmentPlan& Held() const { return m_held; }
    TSpectrum Result(double mean, TSampleRate rate) const;

private:
    // True when moving from the held segments to plan costs less than
    // starting afresh.
    bool Reusable(const TSegmentPlan& plan) const;

    std::unique_ptr<TWelchSum> m_sum;
    TSegmentPlan m_held;
    std::unique_ptr<float[]> m_gather;  // a segment that spans two chunks
    int m_gatherLength = 0;
};

// Welch's spectrum of values [first, last) in one go, segments from first.
TSpectrum WelchSpectrum(const TValuesSnapshot& values, std::int64_t first, std::int64_t last, int chosenLength,
                        double mean, TSampleRate rate, const TWorkControl& control = TWorkControl());
