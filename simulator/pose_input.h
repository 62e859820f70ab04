#pragma once
// Poses typed while the simulator runs (signal_generator.h): one a line
// on a descriptor (accel-sim's standard input), "+x", "-z", "none", so
// that a user walks the device through the six positions of a calibration
// without restarting it. Read without blocking, whatever has arrived.
// Qt-free.

#include "signal_generator.h"

#include <functional>
#include <string>

class TPoseInput {
public:
    using TOnPose = std::function<void(TPose pose)>;
    using TOnBad = std::function<void(const std::string& line)>;

    // fd is not owned.
    explicit TPoseInput(int fd) : m_fd(fd) {}

    // Waits up to timeoutMs for input, then hands each whole line read to
    // onPose, or to onBad when it is not a pose (empty lines are skipped).
    // At the end of the input, a last line without its newline counts too.
    void Poll(int timeoutMs, const TOnPose& onPose, const TOnBad& onBad);
    // The input has ended (or cannot be read): nothing more comes.
    bool Ended() const { return m_ended; }

private:
    void Line(std::string line, const TOnPose& onPose, const TOnBad& onBad);

    int m_fd;
    std::string m_pending;  // a line not ended yet
    bool m_ended = false;
};
