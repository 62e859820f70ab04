#pragma once
// Spectra computed on a thread of their own, so that a range of any size
// never holds up the window: one request at a time, with progress and
// cancel, the newest request replacing any that waits.
//
// The worker keeps a tracker per axis between requests (spectrum_tracker.h):
// a request for a range that grew or slid transforms only the new segments,
// and a cancelled one leaves what it did for the next. Values are read
// through snapshots made on the session's thread (sample_store.h), so
// capture goes on meanwhile. The stores read must outlive the worker.
// Qt Core.

#include "spectrum_tracker.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct TSpectrumRequest {
    struct TAxisEntry {
        int Axis = 0;  // which tracker: one per axis
        TValuesSnapshot Values;
        TSpectrumRange Range;
        double Mean = 0;  // of the range, removed from it
        TSampleRate Rate;
    };
    std::uint64_t Id = 0;
    std::vector<TAxisEntry> Axes;
};

struct TSpectrumResult {
    std::uint64_t Id = 0;
    struct TAxisEntry {
        int Axis = 0;
        TSpectrumRange Range;
        TSpectrum Spectrum;
    };
    std::vector<TAxisEntry> Axes;
};

class TSpectrumWorker : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxAxes = 8;

    explicit TSpectrumWorker(QObject* parent = nullptr);
    // Cancels what runs and waits for the thread (a segment's transform).
    ~TSpectrumWorker() override;

    // Runs request after the one running, which it cancels when
    // cancelRunning; replaces any request still waiting. Every request
    // ends in Finished or Cancelled, whichever way it went.
    void Submit(TSpectrumRequest request, bool cancelRunning);
    // Cancels the running request and drops the waiting one.
    void Cancel();
    // A request is running or waiting.
    bool Busy() const;

signals:
    // On the worker's owner's thread, at most about every 50 ms.
    void Progress(quint64 id, double fraction);
    void Finished(std::shared_ptr<const TSpectrumResult> result);
    void Cancelled(quint64 id);

private:
    void Run();
    // Tells of a request that will not finish, on the owner's thread.
    void ReportCancelled(std::uint64_t id);
    // Computes request; false when cancelled.
    bool Compute(const TSpectrumRequest& request, TSpectrumResult& result);

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<TSpectrumRequest> m_waiting;
    bool m_running = false;
    bool m_stop = false;
    std::atomic<bool> m_cancel{false};
    TSpectrumTracker m_trackers[MaxAxes];  // the worker thread's only
    std::thread m_thread;
};
