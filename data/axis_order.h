#pragma once
// The order in which frames arrived, across the three axes. Every frame
// becomes the next point of its axis, so the sequence of the frames' axes
// describes them fully.
//
// The sequence is kept in pages of 4096 frames, each in one of two forms:
// - runs, in which the axis advances by a constant step (1 for X, Y, Z,
//   X, ...; 0 for one axis over and over; 2 for Z, Y, X, ...), each with
//   the points every axis had in the page before it. The device's stream
//   is one run a page, and a lost frame here and there adds one;
// - two bits per frame, with the points per axis at every 256 frames, for
//   a page that would need more than MaxRuns runs (a device that sends
//   only X and Y alternately fits in runs; one that sends X X Y Y Z Z or a
//   random order does not).
// So the memory per frame is bounded whatever the order: about 0.012 byte
// for the device's stream, at most about 0.28 byte for any order.
//
// Lookups: a frame's point in O(log MaxRuns) (its page is frame / 4096),
// a point's frame in O(log pages); a walker goes through the frames in
// O(1) each.
//
// Appends are exception-safe: Reserve() allocates what the next Append
// needs and may throw, changing nothing; Append after it does not throw.
// Qt-free.

#include "chunked_array.h"
#include "sensor_axes.h"

#include <cstddef>
#include <cstdint>

// The point that one frame became.
struct TFramePoint {
    TAxis Axis;
    std::int64_t Index;  // its position in its axis' series
};

// A stretch of one axis' points whose frames are evenly spaced: points
// [IndexBegin, IndexEnd) came in frames FrameBegin + Stride x (index -
// IndexBegin). Page: the page that holds them.
struct TAxisPiece {
    std::int64_t IndexBegin = 0;
    std::int64_t IndexEnd = 0;
    std::uint64_t FrameBegin = 0;
    std::uint64_t Stride = 1;
    std::size_t Page = 0;

    bool Holds(std::int64_t index) const { return index >= IndexBegin && index < IndexEnd; }
    std::uint64_t FrameOf(std::int64_t index) const { return FrameBegin + Stride * std::uint64_t(index - IndexBegin); }
};

class TAxisOrder {
public:
    std::uint64_t Count() const { return m_count; }
    std::int64_t Points(TAxis axis) const { return m_axisCount[axis]; }

    // Makes room for appending a frame of axis.
    void Reserve(TAxis axis)
    {
        if (m_expected != int(axis) || (m_count & PageMask) == 0)
            ReserveSlow(axis);
    }
    // The next frame went to axis.
    void Append(TAxis axis)
    {
        if (m_expected == int(axis) && (m_count & PageMask) != 0) {
            // Every frame but a few: the run goes on in the same page.
            m_expected += m_step;
            if (m_expected >= AxisCount)
                m_expected -= AxisCount;
            ++m_axisCount[axis];
            ++m_count;
            return;
        }
        AppendSlow(axis);
    }

    // The point the frame with arrival number frame (0-based) became.
    TFramePoint Point(std::uint64_t frame) const;
    // The arrival number of the frame that became point index of axis.
    std::uint64_t Frame(TAxis axis, std::int64_t index) const;
    // Points of axis among the frames before frame (at most Count()).
    std::int64_t PointsBefore(TAxis axis, std::uint64_t frame) const;
    // The stretch holding point index of axis (index < Points(axis)): a
    // run's points of the axis, or one point in a page of two bits per
    // frame. pageHint: a page it is likely in or next to.
    TAxisPiece PieceOf(TAxis axis, std::int64_t index, std::size_t pageHint = NoHint) const;
    static constexpr std::size_t NoHint = ~std::size_t(0);

    // Walks the frames [frame, end) in arrival order, in O(1) per frame;
    // end at most the frames held. Appends while it walks do not disturb it.
    class TWalker {
    public:
        TWalker(const TAxisOrder& order, std::uint64_t frame, std::uint64_t end);
        std::uint64_t Frame() const { return m_frame; }
        bool AtEnd() const { return m_frame >= m_end; }
        TFramePoint Point() const { return {TAxis(m_axis), m_index[m_axis]}; }
        void Next();

    private:
        // Takes up the walk at m_frame from the order as it is now.
        void Seek();

        const TAxisOrder* m_order;
        std::uint64_t m_frame;
        std::uint64_t m_end;
        int m_axis = 0;
        std::int64_t m_index[AxisCount] = {};
        bool m_packed = false;
        // Runs: the run, where it ends and its step.
        std::size_t m_run = 0;
        std::uint64_t m_runEnd = 0;
        int m_step = 0;
        // Two bits per frame: the word being read, shifted to the frame.
        std::size_t m_wordIndex = 0;
        std::uint64_t m_word = 0;
    };

    // Memory held, in bytes.
    std::size_t HeldBytes() const;

private:
    static constexpr unsigned PageBits = 12;
    static constexpr std::uint64_t PageFrames = std::uint64_t(1) << PageBits;
    static constexpr std::uint64_t PageMask = PageFrames - 1;
    // Runs in a page before it goes over to two bits per frame: 64 runs
    // take 640 bytes, the two bits 1,120.
    static constexpr std::uint32_t MaxRuns = 64;
    static constexpr unsigned CodesPerWord = 32;
    static constexpr unsigned GroupFrames = 256;  // frames per count of points, two bits per frame
    static constexpr unsigned WordsPerGroup = GroupFrames / CodesPerWord;
    static constexpr std::uint32_t Packed = 0xFFFFFFFFu;  // TPage::Runs of a page of two bits per frame
    static constexpr std::uint8_t UnknownStep = 0xFF;

    struct TPage {
        std::int64_t FirstIndex[AxisCount];  // points per axis before the page
        std::uint64_t First;                 // its first run, or its first word of two-bit codes
        std::uint32_t Runs;                  // runs in the page, or Packed
    };
    struct TRun {
        std::uint16_t Offset;                 // first frame, from the page's start
        std::uint16_t Before[AxisCount];      // points per axis in the page before the run
        std::uint8_t Axis;                    // of the first frame
        std::uint8_t Step;                    // 0, 1 or 2; UnknownStep while the run has one frame
    };
    struct TGroup {
        std::uint16_t Before[AxisCount];      // points per axis in the page before the group
    };

    void ReserveSlow(TAxis axis);
    void AppendSlow(TAxis axis);
    // The current page goes over to two bits per frame, its first offset
    // frames written from its runs.
    void PackPage(std::uint64_t offset);
    void AppendCode(int axis, std::uint64_t offset);
    // Points per axis in the current page so far.
    std::uint16_t InPage(int axis) const
    {
        return std::uint16_t(m_axisCount[axis] - m_pages.Back().FirstIndex[axis]);
    }
    // The run of the page that holds offset.
    std::size_t RunAt(const TPage& page, std::uint64_t offset) const;
    // Points of axis in the run before its k-th frame.
    static std::int64_t BeforeInRun(const TRun& run, int axis, std::uint64_t k);
    // Points of axis in a page of two bits per frame before offset.
    std::int64_t BeforeInCodes(const TPage& page, int axis, std::uint64_t offset) const;
    // The page holding point index of axis.
    std::size_t PageOfPoint(TAxis axis, std::int64_t index, std::size_t hint) const;

    // The axis the current run expects next; AnyAxis while the run has one
    // frame (the second sets the step); NoRun in a page of two bits per
    // frame and before the first frame.
    static constexpr int AnyAxis = -1;
    static constexpr int NoRun = -2;

    std::uint64_t m_count = 0;
    std::int64_t m_axisCount[AxisCount] = {};
    int m_expected = NoRun;
    int m_step = 0;
    TChunkedArray<TPage, 10> m_pages;
    TChunkedArray<TRun, 12> m_runs;
    TChunkedArray<std::uint64_t, 12> m_codes;
    TChunkedArray<TGroup, 10> m_groups;
};
