#include "stream_builder.h"

#include "frame_encoder.h"

void TExpectedPoints::Add(TAxis axis, double value, bool valid)
{
    InOrder.push_back({axis, value, valid});
    PerAxis[axis].push_back(value);
}

void TExpectedPoints::Clear()
{
    InOrder.clear();
    for (auto& v : PerAxis)
        v.clear();
}

namespace {

TSignalParams SeededSignal(const TStreamOptions& options)
{
    TSignalParams p = options.Signal;
    p.Seed = options.Seed * 2654435761u + 1u; // a stream distinct from the builder's own
    return p;
}

} // namespace

TStreamBuilder::TStreamBuilder(const TStreamOptions& options)
    : m_options(options), m_signal(SeededSignal(options)), m_rng(options.Seed)
{
}

void TStreamBuilder::Build(size_t frames, std::vector<uint8_t>& bytes, TExpectedPoints* expected)
{
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::uniform_int_distribution<int> junkCount(1, 3);
    std::uniform_int_distribution<int> junkByte(0, 255 - 3); // mapped past the 3 tags
    std::uniform_int_distribution<int> wrongOffset(1, 15);

    bytes.reserve(bytes.size() + frames * 3);
    for (size_t i = 0; i < frames; ++i) {
        const TAxis axis = static_cast<TAxis>(m_nextAxis);
        m_nextAxis = (m_nextAxis + 1) % AxisCount;

        if (m_options.JunkRate > 0 && chance(m_rng) < m_options.JunkRate) {
            const int n = junkCount(m_rng);
            for (int j = 0; j < n; ++j) {
                int b = junkByte(m_rng);
                if (b >= TagX)
                    b += 3; // skip 0x78..0x7A
                bytes.push_back(uint8_t(b));
            }
            m_junk += uint64_t(n);
        }

        const int value = m_signal.Next(axis);
        const bool fail = m_options.FailureRate > 0 && chance(m_rng) < m_options.FailureRate;
        // A wrong nibble: any of the 15 nibbles other than value mod 15.
        const int check = fail ? (ValidCheck(value) + wrongOffset(m_rng)) % 16 : ValidCheck(value);
        const TFrameBytes frame = EncodeFrame(axis, value, check);
        bytes.insert(bytes.end(), frame.begin(), frame.end());

        if (fail)
            ++m_failing;
        else
            m_held[axis] = value;
        if (expected)
            expected->Add(axis, double(m_held[axis]), !fail);
        ++m_frames;
    }
}

TBuiltStream BuildStream(size_t frames, const TStreamOptions& options)
{
    TBuiltStream s;
    TStreamBuilder builder(options);
    builder.Build(frames, s.Bytes, &s.Expected);
    return s;
}
