#pragma once
// A file writer (file_writer.h) run on a thread of its own, so that the
// thread that hands it rows (the GUI thread, which also reads the port)
// never waits for a disk, a pipe whose reader has stopped reading, a sync,
// a close or a rename.
//
// Rows are handed over in slices of text, one at a time: the next slice
// may be handed only once the thread has taken the last one. Whoever
// formats the slices therefore holds at most one waiting slice besides the
// one being written, however far the file falls behind; the rows not
// handed yet stay where they came from (the session, which keeps every
// frame anyway).
//
// The thread tells of its progress through a callback (a slice taken, a
// slice written, the end), called on the writer's thread; the owner turns
// it into a call on its own thread.
//
// The thread is never joined: it holds its state itself, so an owner that
// gives up on a write the kernel does not finish (a hung network disk) can
// go, and the thread ends whenever that write does. A wait for a pipe's
// reader is ended at once by Interrupt.
//
// Qt-free; the handing side is meant for one thread.

#include "text_buffer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TFileWriter;

class TWriterThread {
public:
    using TClock = std::chrono::steady_clock;
    using TWake = std::function<void()>;

    struct TStatus {
        std::uint64_t Written = 0;  // rows handed to the kernel
        std::uint64_t Handed = 0;   // rows handed to the thread
        bool Ended = false;         // nothing more happens: closed, failed or interrupted
        bool Closed = false;        // complete under its name
        bool Interrupted = false;   // ended by Interrupt before it was done
        std::string Error;          // why it failed, naming the file; empty when it did not
    };

    // Starts the thread over file. syncEvery: how often what was written is
    // synced to the disk while writing (zero: only when closing). wake is
    // called on the writer's thread after a slice was taken, after it was
    // written and when the thread ends.
    TWriterThread(std::unique_ptr<TFileWriter> file, TClock::duration syncEvery, TWake wake);
    // Interrupts the thread, waits up to a second for it, and lets it go;
    // wake is not called from then on.
    ~TWriterThread();
    TWriterThread(const TWriterThread&) = delete;
    TWriterThread& operator=(const TWriterThread&) = delete;

    // Whether a slice may be handed now: the last one was taken, the file
    // is not closing and the thread has not ended.
    bool CanHand() const;
    // An empty buffer for the next slice: one the thread has written and
    // given back when there is one, with its room.
    TTextBuffer TakeSpare();
    // Hands rows (lines of text) to be written. Only when CanHand.
    void Hand(TTextBuffer text, std::uint64_t rows);
    // After the last slice: the thread writes what it has, syncs and
    // closes the file (a replacement then takes its name) and ends.
    void Close();
    // Ends the thread as soon as it can: a wait for a reader ends at once;
    // what was written stays (a replacement is removed).
    void Interrupt();

    TStatus Status() const;
    // Waits until a slice may be handed or the thread has ended; false at
    // the deadline.
    bool WaitToHand(TClock::time_point deadline) const;
    // Waits until the thread has ended; false at the deadline.
    bool WaitEnded(TClock::time_point deadline) const;

private:
    struct TShared;
    static void Run(std::shared_ptr<TShared> shared);

    std::shared_ptr<TShared> m_shared;
};
