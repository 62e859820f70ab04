#include "spectrum_tracker.h"

#include <algorithm>

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b)
{
    return -FloorDiv(-a, b);
}

}  // namespace

TSegmentPlan PlanSegments(const TSpectrumRange& range)
{
    TSegmentPlan plan;
    const std::int64_t points = std::max<std::int64_t>(0, range.Last - range.First);
    plan.Length = SegmentLengthFor(range.ChosenLength, points);
    for (; plan.Length >= spectrum::SmallestSegment; plan.Length /= 2) {
        plan.Origin = range.Moving ? 0 : range.First;
        const std::int64_t hop = plan.Hop();
        plan.FirstSegment = CeilDiv(range.First - plan.Origin, hop);
        plan.EndSegment = FloorDiv(range.Last - plan.Length - plan.Origin, hop) + 1;
        if (plan.EndSegment > plan.FirstSegment)
            return plan;
    }
    return TSegmentPlan();
}

bool TSpectrumTracker::Reusable(const TSegmentPlan& plan) const
{
    if (!m_sum || m_held.Length != plan.Length || m_held.Origin != plan.Origin)
        return false;
    if (m_held.Count() == 0)
        return false;
    const std::int64_t keptFirst = std::max(m_held.FirstSegment, plan.FirstSegment);
    const std::int64_t keptEnd = std::min(m_held.EndSegment, plan.EndSegment);
    if (keptEnd <= keptFirst)
        return false;
    const std::int64_t changes = (m_held.Count() - (keptEnd - keptFirst)) + (plan.Count() - (keptEnd - keptFirst));
    return changes < plan.Count();
}

std::int64_t TSpectrumTracker::WorkFor(const TSpectrumRange& range) const
{
    const TSegmentPlan plan = PlanSegments(range);
    if (!Reusable(plan))
        return plan.Count();
    const std::int64_t kept = std::min(m_held.EndSegment, plan.EndSegment)
                              - std::max(m_held.FirstSegment, plan.FirstSegment);
    return (m_held.Count() - kept) + (plan.Count() - kept);
}

bool TSpectrumTracker::Update(const TValuesSnapshot& values, const TSpectrumRange& range, float offset,
                              const TWorkControl& control)
{
    const TSegmentPlan plan = PlanSegments(range);
    if (plan.Count() == 0) {
        m_sum.reset();
        m_held = plan;
        return true;
    }
    if (!Reusable(plan)) {
        m_sum = std::make_unique<TWelchSum>(plan.Length, offset);
        m_held = plan;
        m_held.EndSegment = m_held.FirstSegment;
    }
    if (m_gatherLength != plan.Length) {
        m_gather.reset(new float[std::size_t(plan.Length)]);
        m_gatherLength = plan.Length;
    }
    const std::int64_t total = WorkFor(range);
    std::int64_t done = 0;
    const auto segmentValues = [&](std::int64_t segment) {
        const std::int64_t start = m_held.Start(segment);
        const auto [run, available] = values.Run(start);
        if (available >= plan.Length)
            return run;
        values.Copy(start, start + plan.Length, m_gather.get());
        return static_cast<const float*>(m_gather.get());
    };
    const auto step = [&]() {
        ++done;
        if (control.Progress && (done & 15) == 0)
            control.Progress(done, total);
        return !control.Cancelled();
    };
    // Drop what left the range, from its ends inwards, then add what came,
    // from the kept run outwards: the held segments stay one run throughout.
    while (m_held.FirstSegment < std::min(plan.FirstSegment, m_held.EndSegment)) {
        m_sum->Remove(segmentValues(m_held.FirstSegment));
        ++m_held.FirstSegment;
        if (!step())
            return false;
    }
    while (m_held.EndSegment > std::max(plan.EndSegment, m_held.FirstSegment)) {
        --m_held.EndSegment;
        m_sum->Remove(segmentValues(m_held.EndSegment));
        if (!step())
            return false;
    }
    if (m_held.Count() == 0)
        m_held.FirstSegment = m_held.EndSegment = plan.FirstSegment;
    while (m_held.FirstSegment > plan.FirstSegment) {
        --m_held.FirstSegment;
        m_sum->Add(segmentValues(m_held.FirstSegment));
        if (!step())
            return false;
    }
    while (m_held.EndSegment < plan.EndSegment) {
        m_sum->Add(segmentValues(m_held.EndSegment));
        ++m_held.EndSegment;
        if (!step())
            return false;
    }
    if (control.Progress)
        control.Progress(done, total);
    return true;
}

TSpectrum TSpectrumTracker::Result(double mean, TSampleRate rate) const
{
    if (!m_sum) {
        TSpectrum empty;
        empty.Rate = rate;
        return empty;
    }
    return m_sum->Result(mean, rate);
}

TSpectrum WelchSpectrum(const TValuesSnapshot& values, std::int64_t first, std::int64_t last, int chosenLength,
                        double mean, TSampleRate rate, const TWorkControl& control)
{
    TSpectrumTracker tracker;
    TSpectrumRange range;
    range.First = first;
    range.Last = last;
    range.ChosenLength = chosenLength;
    if (!tracker.Update(values, range, float(mean), control))
        return TSpectrum();
    return tracker.Result(mean, rate);
}
