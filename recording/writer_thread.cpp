#include "writer_thread.h"

#include "exception.h"
#include "file_writer.h"

#include <condition_variable>
#include <mutex>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

struct TWriterThread::TShared {
    std::unique_ptr<TFileWriter> File;
    TClock::duration SyncEvery{};
    int Interrupt = -1;  // eventfd: readable once interrupted

    mutable std::mutex Lock;
    mutable std::condition_variable Changed;
    TTextBuffer Slice;
    TTextBuffer Spare;  // written, given back for its room
    std::uint64_t SliceRows = 0;
    bool HasSlice = false;
    bool CloseAsked = false;
    bool InterruptAsked = false;
    TStatus Status;

    std::mutex WakeLock;  // held while wake runs, so that the owner can stop it
    TWake Wake;

    ~TShared()
    {
        if (Interrupt >= 0)
            ::close(Interrupt);
    }
    void CallWake()
    {
        std::lock_guard<std::mutex> hold(WakeLock);
        if (Wake)
            Wake();
    }
};

TWriterThread::TWriterThread(std::unique_ptr<TFileWriter> file, TClock::duration syncEvery, TWake wake)
    : m_shared(std::make_shared<TShared>())
{
    m_shared->File = std::move(file);
    m_shared->SyncEvery = syncEvery;
    m_shared->Wake = std::move(wake);
    m_shared->Interrupt = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_shared->Interrupt < 0)
        throw Exception("Não foi possível preparar a gravação: o sistema não deu um descritor (eventfd).");
    m_shared->File->SetInterrupt(m_shared->Interrupt);
    std::thread(&TWriterThread::Run, m_shared).detach();
}

TWriterThread::~TWriterThread()
{
    Interrupt();
    WaitEnded(TClock::now() + std::chrono::seconds(1));
    std::lock_guard<std::mutex> hold(m_shared->WakeLock);
    m_shared->Wake = nullptr;
}

bool TWriterThread::CanHand() const
{
    std::lock_guard<std::mutex> hold(m_shared->Lock);
    return !m_shared->HasSlice && !m_shared->CloseAsked && !m_shared->InterruptAsked && !m_shared->Status.Ended;
}

TTextBuffer TWriterThread::TakeSpare()
{
    std::lock_guard<std::mutex> hold(m_shared->Lock);
    TTextBuffer spare = std::move(m_shared->Spare);
    spare.Clear();
    return spare;
}

void TWriterThread::Hand(TTextBuffer text, std::uint64_t rows)
{
    {
        std::lock_guard<std::mutex> hold(m_shared->Lock);
        if (m_shared->HasSlice || m_shared->CloseAsked || m_shared->Status.Ended)
            return;
        m_shared->Slice = std::move(text);
        m_shared->SliceRows = rows;
        m_shared->HasSlice = true;
        m_shared->Status.Handed += rows;
    }
    m_shared->Changed.notify_all();
}

void TWriterThread::Close()
{
    {
        std::lock_guard<std::mutex> hold(m_shared->Lock);
        m_shared->CloseAsked = true;
    }
    m_shared->Changed.notify_all();
}

void TWriterThread::Interrupt()
{
    {
        std::lock_guard<std::mutex> hold(m_shared->Lock);
        if (m_shared->InterruptAsked || m_shared->Status.Ended)
            return;
        m_shared->InterruptAsked = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_shared->Interrupt, &one, sizeof one);
    m_shared->Changed.notify_all();
}

TWriterThread::TStatus TWriterThread::Status() const
{
    std::lock_guard<std::mutex> hold(m_shared->Lock);
    return m_shared->Status;
}

bool TWriterThread::WaitToHand(TClock::time_point deadline) const
{
    std::unique_lock<std::mutex> hold(m_shared->Lock);
    return m_shared->Changed.wait_until(hold, deadline,
                                        [&] { return !m_shared->HasSlice || m_shared->Status.Ended; });
}

bool TWriterThread::WaitEnded(TClock::time_point deadline) const
{
    std::unique_lock<std::mutex> hold(m_shared->Lock);
    return m_shared->Changed.wait_until(hold, deadline, [&] { return m_shared->Status.Ended; });
}

void TWriterThread::Run(std::shared_ptr<TShared> shared)
{
    TFileWriter& file = *shared->File;
    TClock::time_point lastSync = TClock::now();
    std::string error;
    bool closed = false;
    try {
        for (;;) {
            TTextBuffer slice;
            std::uint64_t rows = 0;
            {
                std::unique_lock<std::mutex> hold(shared->Lock);
                shared->Changed.wait(
                    hold, [&] { return shared->HasSlice || shared->CloseAsked || shared->InterruptAsked; });
                if (shared->InterruptAsked)
                    break;
                if (shared->HasSlice) {
                    slice = std::move(shared->Slice);
                    rows = shared->SliceRows;
                    shared->HasSlice = false;
                } else {
                    hold.unlock();
                    file.Close();
                    closed = true;
                    break;
                }
            }
            // The next slice can be made while this one is written.
            shared->Changed.notify_all();
            shared->CallWake();
            file.Write(slice.View());
            file.Flush();
            {
                std::lock_guard<std::mutex> hold(shared->Lock);
                shared->Status.Written += rows;
                shared->Spare = std::move(slice);
            }
            if (shared->SyncEvery.count() > 0 && TClock::now() - lastSync >= shared->SyncEvery) {
                lastSync = TClock::now();
                file.SyncInBackground();
            }
            shared->CallWake();
        }
    } catch (...) {
        error = CurrentExceptionText();
    }
    const bool interrupted = !closed && (error.empty() || file.Interrupted());
    // What was written stays in a direct file; a replacement goes.
    file.Discard();
    {
        std::lock_guard<std::mutex> hold(shared->Lock);
        shared->Status.Closed = closed;
        shared->Status.Interrupted = interrupted;
        if (!interrupted)
            shared->Status.Error = error;
        shared->Status.Ended = true;
    }
    shared->Changed.notify_all();
    shared->CallWake();
}
