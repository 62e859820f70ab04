#pragma once
// The rows of a mapped recording parsed on worker threads, a slice at a
// time, and handed out in file order.
//
// Workers take the next slice as long as it is at most Window slices ahead
// of the one the consumer is at, so that parsed rows waiting to be taken
// stay bounded (Window slots, each reused) whatever the size of the file.
// A slice that ends the rows (a bad row, a cut last line, a file that
// shrank, no memory) is the last handed out. Qt-free.

#include "mapped_file.h"
#include "row_parser.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TSlicePipeline {
public:
    struct TSettings {
        unsigned Threads = 2;
        unsigned Window = 4;
        std::uint64_t SliceBytes = std::uint64_t(1) << 20;
    };

    // Starts parsing the rows of file from byte begin to its end.
    // onHeadReady is called on a worker thread whenever the slice the
    // consumer waits for has been parsed.
    TSlicePipeline(const TMappedFile& file, std::uint64_t begin, const TSettings& settings,
                   std::function<void()> onHeadReady);
    ~TSlicePipeline();
    TSlicePipeline(const TSlicePipeline&) = delete;
    TSlicePipeline& operator=(const TSlicePipeline&) = delete;

    // The next slice in file order once parsed; nullptr while it is not.
    // It stays the consumer's until PopHead.
    const TParsedSlice* Head();
    void PopHead();
    // Every slice wanted was handed out and popped.
    bool Exhausted();
    // Stops the workers (each ends the slice it parses) and waits for them.
    void Stop();

private:
    void Work();
    void Parse(std::uint64_t index, TParsedSlice& slice);

    const TMappedFile& m_file;
    const std::uint64_t m_begin;
    const std::uint64_t m_sliceBytes;
    const std::function<void()> m_onHeadReady;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<TParsedSlice> m_slots;  // slice k in slot k % size
    std::vector<char> m_ready;
    std::uint64_t m_wanted;      // slices to hand out
    std::uint64_t m_next = 0;    // next slice for a worker
    std::uint64_t m_head = 0;    // next slice for the consumer
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};
