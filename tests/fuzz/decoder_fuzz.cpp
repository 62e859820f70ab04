// libFuzzer target for the frame decoder, differential: whatever the bytes
// and however the port splits them (one read, random notifications, reads
// that deliver less than announced, one byte at a time), the decoder must
// hand on exactly what a plain byte-at-a-time reference decoder does. The
// first input byte seeds the splitting. A difference aborts.
#include "frame_decoder.h"
#include "test_sinks.h"

#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

using TReading = std::tuple<int, int, bool>;  // axis, value, valid

// The stream decoding as plainly as it can be written: one byte at a time,
// skipping bytes that cannot start a frame, holding the last valid value.
std::vector<TReading> Reference(const uint8_t* data, size_t size)
{
    std::vector<TReading> out;
    uint8_t frame[3];
    int pending = 0;
    int held[AxisCount] = {0, 0, 0};
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (pending == 0 && !(b == 0x78 || b == 0x79 || b == 0x7A))
            continue;
        frame[pending++] = b;
        if (pending < 3)
            continue;
        pending = 0;
        const int axis = frame[0] - 0x78;
        const int value = (frame[1] & 0x0F) * 256 + frame[2];
        const bool valid = value % 15 == (frame[1] >> 4);
        if (valid)
            held[axis] = value;
        out.emplace_back(axis, held[axis], valid);
    }
    return out;
}

// A port that sometimes delivers fewer bytes than a notification counted.
class TShortSource : public TBufferSource {
public:
    explicit TShortSource(TBytes bytes, unsigned seed) : TBufferSource(std::move(bytes)), m_seed(seed) {}
    int Read(void* buffer, int count) override
    {
        m_seed = m_seed * 1103515245u + 12345u;
        const int limit = (m_seed >> 16) % 3 == 0 ? 1 + int((m_seed >> 8) % unsigned(count)) : count;
        return TBufferSource::Read(buffer, limit);
    }

private:
    unsigned m_seed;
};

std::vector<TReading> Readings(const TCollectingSink& sink)
{
    std::vector<TReading> out;
    for (size_t i = 0; i < sink.Points.size(); ++i)
        out.emplace_back(sink.Points[i].first, int(sink.Points[i].second), sink.Validity[i]);
    return out;
}

// Notifies with counts from nextCount until the source is drained.
template <class TNext>
std::vector<TReading> Decode(TBufferSource& source, TNext nextCount, TReceiveState& state)
{
    TCollectingSink sink;
    while (source.Waiting() > 0) {
        const size_t waiting = source.Waiting();
        const size_t count = std::min(waiting, nextCount());
        HandleRxChar(state, int(count), source, sink);
        if (state.RxPending > 2)
            std::abort();
    }
    return Readings(sink);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned seed = data[0];
    const TBytes bytes(data + 1, data + size);
    const std::vector<TReading> expected = Reference(bytes.data(), bytes.size());

    unsigned step = seed;
    auto randomCount = [&] {
        step = step * 1103515245u + 12345u;
        return size_t(1 + (step >> 16) % 64);
    };
    const size_t whole = bytes.size();
    struct TRun {
        bool ShortReads;
        int Kind;  // 0: one read, 1: random counts, 2: one byte at a time
    };
    for (const TRun run : {TRun{false, 0}, TRun{false, 1}, TRun{false, 2}, TRun{true, 0}, TRun{true, 1}}) {
        TReceiveState state{};
        TShortSource shortSource(bytes, seed + 1);
        TBufferSource plainSource(bytes);
        TBufferSource& source = run.ShortReads ? static_cast<TBufferSource&>(shortSource) : plainSource;
        std::vector<TReading> got;
        if (run.Kind == 0)
            got = Decode(source, [&] { return whole; }, state);
        else if (run.Kind == 1)
            got = Decode(source, randomCount, state);
        else
            got = Decode(source, [] { return size_t(1); }, state);
        if (got != expected)
            std::abort();
        for (int a = 0; a < AxisCount; ++a) {
            if (state.AxisValue[a] != state.AxisLastValue[a])
                std::abort();
        }
    }
    return 0;
}
