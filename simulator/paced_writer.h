#pragma once
// Writes a byte stream to a file descriptor on a thread of its own, either
// paced at a given byte rate (as a serial line delivers it) or as fast as the
// descriptor takes it. Stoppable at any time.
//
// Pacing is a token bucket: bytes become due at BytesPerSecond and are
// written in small bursts every millisecond or so; a writer held up by a
// full line does not burst more than ~50 ms worth afterwards. A frame rate F
// (3-byte frames) is a byte rate of 3F; junk bytes take line time like any
// other byte.
//
// The descriptor is switched to non-blocking mode and is not closed by the
// writer. Qt-free.
//
// Paced with a packet time, the bytes due are held until that much line
// time has gathered and then written in one piece, as a USB-serial adapter
// hands the host what its UART received in one packet; the byte rate is
// the same.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TPacedWriter {
public:
    // Appends the next bytes to `out` (which comes in empty); returns false
    // when the stream has ended. Runs on the writer's thread.
    using TProducer = std::function<bool(std::vector<uint8_t>& out)>;

    TPacedWriter() = default;
    ~TPacedWriter();
    TPacedWriter(const TPacedWriter&) = delete;
    TPacedWriter& operator=(const TPacedWriter&) = delete;

    // Starts writing to fd. bytesPerSecond <= 0 means as fast as the line
    // takes it. packetSeconds > 0 writes the paced bytes in packets of
    // that much line time. Stops a previous run first.
    void Start(int fd, TProducer producer, double bytesPerSecond, double packetSeconds = 0);
    // The same for a fixed buffer.
    void Start(int fd, std::vector<uint8_t> bytes, double bytesPerSecond, double packetSeconds = 0);

    // Stops the thread and waits for it. Idempotent.
    void Stop();

    // Waits until the stream has been written completely or a write failed
    // (timeoutMs < 0: for ever). Returns true when the writer has finished.
    bool WaitFinished(int timeoutMs = -1);

    bool Running() const { return m_running.load(); }
    uint64_t BytesWritten() const { return m_written.load(); }
    // The text of the write error that ended the run, empty if none.
    std::string Error() const;

private:
    void Run(int fd, TProducer producer, double bytesPerSecond, double packetSeconds);

    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_written{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_finished = false;
    std::string m_error;
};
