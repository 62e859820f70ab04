#include "spectrum_job.h"

#include <QMetaObject>

#include <chrono>

TSpectrumWorker::TSpectrumWorker(QObject* parent) : QObject(parent)
{
    m_thread = std::thread([this] { Run(); });
}

TSpectrumWorker::~TSpectrumWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
        m_waiting.reset();
        m_cancel = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TSpectrumWorker::Submit(TSpectrumRequest request, bool cancelRunning)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_waiting)
            ReportCancelled(m_waiting->Id);
        m_waiting = std::move(request);
        if (cancelRunning && m_running)
            m_cancel = true;
    }
    m_wake.notify_all();
}

void TSpectrumWorker::Cancel()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_waiting)
        ReportCancelled(m_waiting->Id);
    m_waiting.reset();
    if (m_running)
        m_cancel = true;
}

bool TSpectrumWorker::Busy() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_running || m_waiting;
}

void TSpectrumWorker::Run()
{
    for (;;) {
        TSpectrumRequest request;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_running = false;
            m_wake.wait(lock, [this] { return m_stop || m_waiting; });
            if (m_stop)
                return;
            request = std::move(*m_waiting);
            m_waiting.reset();
            m_running = true;
            m_cancel = false;
        }
        auto result = std::make_shared<TSpectrumResult>();
        result->Id = request.Id;
        const bool done = Compute(request, *result);
        // Told on the owner's thread; dropped there if the worker is gone.
        if (done) {
            std::shared_ptr<const TSpectrumResult> shared = std::move(result);
            QMetaObject::invokeMethod(this, [this, shared] { emit Finished(shared); }, Qt::QueuedConnection);
        } else {
            ReportCancelled(request.Id);
        }
    }
}

void TSpectrumWorker::ReportCancelled(std::uint64_t id)
{
    QMetaObject::invokeMethod(this, [this, id] { emit Cancelled(quint64(id)); }, Qt::QueuedConnection);
}

bool TSpectrumWorker::Compute(const TSpectrumRequest& request, TSpectrumResult& result)
{
    std::int64_t total = 0;
    for (const auto& entry : request.Axes)
        total += m_trackers[entry.Axis].WorkFor(entry.Range);
    std::int64_t before = 0;  // transforms of the axes done
    auto lastReport = std::chrono::steady_clock::now();
    TWorkControl control;
    control.Cancel = &m_cancel;
    control.Progress = [&](std::int64_t done, std::int64_t) {
        const auto now = std::chrono::steady_clock::now();
        if (total <= 0 || now - lastReport < std::chrono::milliseconds(50))
            return;
        lastReport = now;
        const double fraction = double(before + done) / double(total);
        const quint64 id = request.Id;
        QMetaObject::invokeMethod(this, [this, id, fraction] { emit Progress(id, fraction); }, Qt::QueuedConnection);
    };
    for (const auto& entry : request.Axes) {
        TSpectrumTracker& tracker = m_trackers[entry.Axis];
        const std::int64_t work = tracker.WorkFor(entry.Range);
        if (!tracker.Update(entry.Values, entry.Range, float(entry.Mean), control))
            return false;
        before += work;
        result.Axes.push_back({entry.Axis, entry.Range, tracker.Result(entry.Mean, entry.Rate)});
    }
    return !m_cancel.load();
}
