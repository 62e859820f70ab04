// Benchmark of the session's data over streams whose axes arrive in
// different orders. Prints one "name value" line per figure and order:
//   bytes_per_frame_<order>   memory held per frame, all of it: values,
//       validity bits, min/max pyramids, arrival order and times, and the
//       pyramids of the gaps between points;
//       the growth from 0.9 to 4.8 million frames, so that what a session
//       holds whatever its length is left out
//   append_ns_<order>         one frame appended to the session
//   point_ns_<order>          the point of a frame (Point), random frames
//   frame_ns_<order>          the frame of a point (Frame), random points
//   time_ns_<order>           the arrival time of a point (the readout's)
//   walk_ns_<order>           one step of a walk in arrival order (a
//                             recording's or an export's rows)
// Reads come as from a fast port: a read of 4096 bytes brings 1365 frames
// and a byte of the next, each frame placed back from the read's time by
// the bytes after it, at 9600 baud.
//
// Orders: xyz (the device), xy (a device that sends two axes), xxyyzz,
// random, and lost (the device's order with one frame in 1,000 lost).

#include "session.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double NsSince(TClock::time_point start, std::uint64_t count)
{
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - start).count()) / double(count);
}

// The axis of frame n of a stream; called in order.
using TOrder = std::function<TAxis(std::uint64_t n)>;

struct TStreamOrder {
    const char* Name;
    TOrder Axis;
};

std::vector<TStreamOrder> Orders()
{
    auto random = std::make_shared<std::mt19937>(5);
    auto lost = std::make_shared<std::pair<std::mt19937, int>>(std::mt19937(6), 0);
    return {
        {"xyz", [](std::uint64_t n) { return TAxis(n % 3); }},
        {"xy", [](std::uint64_t n) { return TAxis(n % 2); }},
        {"xxyyzz", [](std::uint64_t n) { return TAxis(n / 2 % 3); }},
        {"random", [random](std::uint64_t) { return TAxis((*random)() % 3); }},
        {"lost", [lost](std::uint64_t) {
             // The next axis of the cycle, one in 1,000 skipped.
             if (lost->first() % 1000 == 0)
                 lost->second = (lost->second + 1) % 3;
             const TAxis axis = TAxis(lost->second);
             lost->second = (lost->second + 1) % 3;
             return axis;
         }},
    };
}

// Frames appended so far, each with its place in the read it came in.
void Fill(TSession& session, const TOrder& order, std::uint64_t to)
{
    for (std::uint64_t n = session.FrameCount(); n < to; ++n) {
        const std::uint64_t inRead = n % 1365;
        if (inRead == 0)
            session.BeginRead(std::int64_t(n + 1365) * 3'125'000 + 1'041'667);
        session.AppendFrame(order(n), double((n * 2654435761u) % 4096), true, int(3 * (1364 - inRead) + 1));
    }
}

}  // namespace

int main()
{
    // Both ends mid-way through the values' chunks of 65,536 points per
    // axis for the orders whose counts are even, so that what a chunk
    // holds beyond its points counts the same at both ends.
    constexpr std::uint64_t Early = 98304 + 393216 * 2;
    constexpr std::uint64_t Late = Early + 393216 * 10;
    for (const TStreamOrder& o : Orders()) {
        volatile std::int64_t sink = 0;
        TSession session;
        session.MarkOpening(0, TLineTiming{20, 9600});
        Fill(session, o.Axis, Early);
        const std::size_t before = session.HeldBytes();
        const auto appendStart = TClock::now();
        Fill(session, o.Axis, Late);
        const double appendNs = NsSince(appendStart, Late - Early);
        const std::size_t after = session.HeldBytes();
        std::printf("bytes_per_frame_%s %.3f\n", o.Name, double(after - before) / double(Late - Early));
        std::printf("append_ns_%s %.2f\n", o.Name, appendNs);

        const TArrivalLog& log = session.Log();
        constexpr std::uint64_t Lookups = 2'000'000;
        std::mt19937_64 random(7);
        std::vector<std::uint64_t> frames(Lookups);
        for (std::uint64_t& f : frames)
            f = random() % session.FrameCount();
        auto start = TClock::now();
        std::vector<TFramePoint> points;
        points.reserve(Lookups);
        for (std::uint64_t f : frames)
            points.push_back(log.Point(f));
        std::printf("point_ns_%s %.2f\n", o.Name, NsSince(start, Lookups));
        start = TClock::now();
        for (const TFramePoint& p : points)
            sink = sink + std::int64_t(log.Frame(p.Axis, p.Index));
        std::printf("frame_ns_%s %.2f\n", o.Name, NsSince(start, Lookups));
        start = TClock::now();
        for (const TFramePoint& p : points)
            sink = sink + session.TimeUs(p.Axis, p.Index);
        std::printf("time_ns_%s %.2f\n", o.Name, NsSince(start, Lookups));
        start = TClock::now();
        std::uint64_t walked = 0;
        for (TArrivalLog::TWalker walker(log, 0); !walker.AtEnd(); walker.Next(), ++walked)
            sink = sink + walker.Point().Index + walker.TimeUs();
        std::printf("walk_ns_%s %.2f\n", o.Name, NsSince(start, walked));
        std::fflush(stdout);
    }
    return 0;
}
