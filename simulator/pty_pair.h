#pragma once
// A pseudo-terminal pair standing in for a serial line: what is written to
// the master comes out of the slave device (/dev/pts/N), which a serial port
// opens like any tty. Both ends are in raw mode (cfmakeraw), so no byte is
// translated (no CR/LF mapping, no echo, no signals, 8-bit clean).
//
// Closing the master is a hang-up for whoever has the slave open, as when a
// USB serial adapter is pulled out.
//
// Linux only. Qt-free. Errors are thrown as Exception.

#include <string>

class TPtyPair {
public:
    // Opens a new pair. With keepSlaveOpen, this object holds an fd on the
    // slave too (so writes to the master never find the line without a
    // reader); without it, the slave is closed at once and only reopened by
    // whoever opens SlavePath().
    explicit TPtyPair(bool keepSlaveOpen = true);
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    int Master() const { return m_master; }
    int Slave() const { return m_slave; }      // -1 when not kept open
    const std::string& SlavePath() const { return m_slavePath; }

    // Closes the master (a hang-up on the slave side). Idempotent.
    void CloseMaster();
    // Closes this object's own slave fd. Idempotent.
    void CloseSlave();

    // True when some process other than this object has the slave open
    // (the master does not report POLLHUP). Only meaningful when this object
    // does not hold the slave itself.
    bool HasReader() const;

    // Waits until some process other than this object has the slave open
    // (the master stops reporting POLLHUP). Only meaningful when this object
    // does not hold the slave itself. Returns false on timeout; a negative
    // timeout waits for ever.
    bool WaitForReader(int timeoutMs) const;

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// Puts an open tty fd into raw mode; when baud > 0 also sets that speed
// (8N1, no flow control). Throws Exception naming `what` on failure.
void MakeRawTty(int fd, const std::string& what, int baud = 0);
