// libFuzzer target for the frame decoder. The input is split into
// notifications by its own first bytes, so the fuzzer explores both the
// stream contents and how the port splits them. Every run checks the
// decoder's invariants; a violation aborts.
#include "frame_decoder.h"

#include <cstdlib>
#include <cstring>

namespace {

class Source : public IRxSource {
public:
    Source(const uint8_t* d, size_t n) : data(d), size(n) {}
    bool Connected() const override { return true; }
    int Read(void* buffer, int count) override {
        size_t n = size - pos;
        if (n > size_t(count)) n = size_t(count);
        std::memcpy(buffer, data + pos, n);
        pos += n;
        return int(n);
    }
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

class Sink : public ISampleSink {
public:
    void Append(TAxis axis, double value) override {
        if (axis < axX || axis > axZ || value < 0 || value > 4095 || value != double(int(value)))
            std::abort();
        ++count;
    }
    size_t count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned splitSeed = data[0];
    ++data;
    --size;

    TReceiveState state{};
    Source source(data, size);
    Sink sink;
    size_t waiting = 0;
    unsigned step = splitSeed;
    while (source.pos < size) {
        step = step * 1103515245u + 12345u;
        const size_t chunk = 1 + (step >> 16) % 64;
        waiting = chunk < size - source.pos ? chunk : size - source.pos;
        HandleRxChar(state, int(waiting), source, sink);
        if (state.RxPending > 2)
            std::abort();
        for (int a = 0; a < AxisCount; ++a)
            if (state.AxisValue[a] != state.AxisLastValue[a] || state.AxisLastValue[a] < 0 ||
                state.AxisLastValue[a] > 4095)
                std::abort();
    }
    // No more points than complete frames could carry.
    if (sink.count > size / 3)
        std::abort();
    return 0;
}
