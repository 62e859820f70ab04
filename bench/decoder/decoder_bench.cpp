// Decoding speed: 30 million frames, taken from the "port" in reads of 4096
// bytes, into a sink that only counts. Prints decode_ns_per_frame.
#include "frame_decoder.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class MemorySource : public IRxSource {
public:
    explicit MemorySource(const std::vector<uint8_t>& d) : data(d) {}
    bool Connected() const override { return true; }
    int Read(void* buffer, int count) override {
        size_t n = data.size() - pos;
        if (n > size_t(count)) n = size_t(count);
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return int(n);
    }
    size_t Waiting() const { return data.size() - pos; }
    const std::vector<uint8_t>& data;
    size_t pos = 0;
};

class CountingSink : public ISampleSink {
public:
    void Append(TAxis axis, double value) override {
        ++counts[axis];
        sum += value;
    }
    long long counts[AxisCount] = {0, 0, 0};
    double sum = 0;
};

} // namespace

int main()
{
    constexpr long long Frames = 30'000'000;
    constexpr int ReadSize = 4096;

    // A realistic stream: the three axes in turn, about 1% failing frames.
    std::vector<uint8_t> stream;
    stream.reserve(size_t(Frames) * 3);
    unsigned seed = 1;
    for (long long i = 0; i < Frames; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int value = 1500 + int((seed >> 8) % 1000);
        int check = value % 15;
        if ((seed >> 20) % 100 == 0)
            check = (check + 1) % 16;
        stream.push_back(uint8_t(TagX + i % 3));
        stream.push_back(uint8_t((check << 4) | (value >> 8)));
        stream.push_back(uint8_t(value & 0xFF));
    }

    TReceiveState state{};
    MemorySource source(stream);
    CountingSink sink;
    const auto start = std::chrono::steady_clock::now();
    while (source.Waiting() > 0) {
        const int waiting = source.Waiting() < size_t(ReadSize) ? int(source.Waiting()) : ReadSize;
        HandleRxChar(state, waiting, source, sink);
    }
    const auto stop = std::chrono::steady_clock::now();

    const long long decoded = sink.counts[0] + sink.counts[1] + sink.counts[2];
    if (decoded != Frames) {
        std::fprintf(stderr, "decoded %lld of %lld frames\n", decoded, Frames);
        return 1;
    }
    const double ns = std::chrono::duration<double, std::nano>(stop - start).count();
    std::printf("frames %lld\n", decoded);
    std::printf("decode_ns_per_frame %.2f\n", ns / double(Frames));
    std::fprintf(stderr, "(checksum %.0f)\n", sink.sum);
    return 0;
}
