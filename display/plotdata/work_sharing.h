#pragma once
// Runs numbered jobs on the calling thread and one helper thread.
//
// Reductions of a long history for a new view cost milliseconds per series,
// all of it reading and none of it writing shared data: the bands of all
// series are independent jobs, each with its own output. The caller takes
// part and returns only when every job is done, so a job may read anything
// the caller would leave alone while it waits (the chart's stores, which
// only its own thread appends to).

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class TWorkSharing {
public:
    TWorkSharing() = default;
    ~TWorkSharing();
    TWorkSharing(const TWorkSharing&) = delete;
    TWorkSharing& operator=(const TWorkSharing&) = delete;

    // Calls job(i) exactly once for each i in [0, count), some on a helper
    // thread, in no particular order, and returns when all have returned.
    // Jobs with different i must not touch the same data. Should a job
    // throw, the jobs not yet started are skipped and the first exception
    // is thrown here, once no job is running. Without a helper (a single
    // processor, or one could not be started) all run here, in order.
    void Run(std::size_t count, const std::function<void(std::size_t)>& job);

private:
    bool StartHelper();
    void Help();
    // Takes jobs until none is left; the exception of one that threw.
    std::exception_ptr Drain();

    std::mutex m_mutex;
    std::condition_variable m_wake;  // the helper: a run began, or stop
    std::condition_variable m_done;  // the caller: the helper is idle
    const std::function<void(std::size_t)>* m_job = nullptr;
    std::size_t m_count = 0;
    std::size_t m_next = 0;          // the next job to take
    unsigned long m_run = 0;         // runs begun, for the helper to notice
    bool m_open = false;             // the run still takes a helper
    bool m_helping = false;          // the helper works on the run
    bool m_stop = false;
    std::exception_ptr m_failure;  // of a job on the helper
    bool m_helperTried = false;
    std::thread m_helper;
};
