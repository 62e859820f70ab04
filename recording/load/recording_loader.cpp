#include "recording_loader.h"

#include "exception.h"
#include "header_check.h"
#include "portuguese_numbers.h"
#include "session.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>

namespace {

// Rows appended between two looks at the clock: well under a millisecond.
constexpr std::size_t RowsPerStep = 8192;
// What the session holds per point besides the arrival log: the value, its
// share of the min/max pyramid and its validity bit, with some room for the
// chunks being filled.
constexpr double ValueBytesPerPoint = 4.6;
// The arrival log's entry for each change of time.
constexpr double BytesPerBatch = 8.0;
// Bytes of the file's rows looked at to estimate the memory it needs.
constexpr std::uint64_t SampleBytes = 256 * 1024;

std::string Megabytes(double bytes)
{
    return GroupedNumber(std::uint64_t(bytes / (1024.0 * 1024.0) + 0.5)) + " MB";
}

}  // namespace

std::optional<std::uint64_t> SystemAvailableMemory()
{
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (file == nullptr)
        return std::nullopt;
    char line[256];
    std::optional<std::uint64_t> available;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        unsigned long long kilobytes = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
            available = std::uint64_t(kilobytes) * 1024;
            break;
        }
    }
    std::fclose(file);
    return available;
}

TRecordingLoader::TRecordingLoader(const std::string& path, TSession& session, TLoadOptions options)
    : m_file(path), m_session(session), m_options(std::move(options))
{
    if (session.FrameCount() != 0)
        throw std::logic_error("TRecordingLoader: the session must be empty");
    if (!m_options.AvailableMemory)
        m_options.AvailableMemory = SystemAvailableMemory;
    const std::uint64_t size = m_file.Size();
    // The rows' memory, from the first of them: how many bytes a row takes
    // and how often the time changes.
    std::uint64_t sampleRows = 0;
    std::uint64_t sampleBatches = 0;
    std::uint64_t sampleEnd = 0;
    const bool read = m_file.Guarded([&] {
        m_rowsBegin = RowsBegin(m_file.Data(), size, path);
        const char* p = m_file.Data() + m_rowsBegin;
        const char* const end = m_file.Data() + std::min(size, m_rowsBegin + SampleBytes);
        const char* lastTime = nullptr;
        std::size_t lastTimeBytes = 0;
        while (p < end) {
            const char* newline = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
            if (newline == nullptr)
                break;
            const char* comma = static_cast<const char*>(std::memchr(p, ',', std::size_t(newline - p)));
            const std::size_t timeBytes = std::size_t((comma ? comma : newline) - p);
            if (lastTime == nullptr || timeBytes != lastTimeBytes || std::memcmp(p, lastTime, timeBytes) != 0)
                ++sampleBatches;
            lastTime = p;
            lastTimeBytes = timeBytes;
            ++sampleRows;
            p = newline + 1;
        }
        sampleEnd = std::uint64_t(p - m_file.Data());
    });
    if (!read)
        throw Exception("\"" + path + "\" ficou menor enquanto era aberto: outro programa o truncou.");
    if (sampleRows == 0)
        return;
    const double bytesPerRow = double(sampleEnd - m_rowsBegin) / double(sampleRows);
    const double rows = double(size - m_rowsBegin) / bytesPerRow;
    const double bytesPerPoint = ValueBytesPerPoint + BytesPerBatch * double(sampleBatches) / double(sampleRows);
    const TSlicePipeline::TSettings& parsing = m_options.Parsing;
    const double parsed = double(parsing.Window) * double(parsing.SliceBytes / MinRowBytes + 1) * 10.0;
    const double needed = rows * bytesPerPoint + parsed;
    const std::optional<std::uint64_t> available = m_options.AvailableMemory();
    if (available && needed + double(m_options.ReserveBytes) > double(*available))
        throw Exception("\"" + path + "\" é grande demais para a memória livre: tem cerca de "
                        + GroupedNumber(std::uint64_t(rows)) + " pontos, que ocupariam cerca de " + Megabytes(needed)
                        + ", e há " + Megabytes(double(*available)) + " livres. Feche outros programas e tente de novo.");
}

TRecordingLoader::~TRecordingLoader() = default;

void TRecordingLoader::Start(std::function<void()> onReady)
{
    if (m_pipeline || Ended())
        return;
    m_pipeline = std::make_unique<TSlicePipeline>(m_file, m_rowsBegin, m_options.Parsing, std::move(onReady));
}

TRecordingLoader::TAppendState TRecordingLoader::AppendReady(std::chrono::steady_clock::time_point deadline)
{
    if (Ended())
        return TAppendState::Ended;
    if (!m_pipeline)
        return TAppendState::Waiting;
    try {
        for (;;) {
            const TParsedSlice* slice = m_pipeline->Head();
            if (slice == nullptr) {
                if (!m_pipeline->Exhausted())
                    return TAppendState::Waiting;
                Finish(TLoadStatus::Complete, 0, "");
                return TAppendState::Ended;
            }
            if (!m_joined) {
                m_stopRow = JoinedRows(*slice);
                m_cursor = 0;
                m_joined = true;
            }
            const std::size_t to = std::min(m_stopRow, m_cursor + RowsPerStep);
            for (; m_cursor < to; ++m_cursor) {
                const std::uint16_t packed = slice->Packed[m_cursor];
                const TAxis axis = TParsedSlice::AxisOf(packed);
                std::int64_t& next = m_nextIndex[axis];
                // The axis' first row in the file: the slice knows its index.
                const std::int64_t index = next < 0 ? slice->FirstIndex[axis] : next;
                m_session.AppendRecord({slice->TimeUs[m_cursor], axis, index, float(TParsedSlice::ValueOf(packed)),
                                        TParsedSlice::ValidOf(packed)});
                next = index + 1;
                ++m_result.Rows;
            }
            m_bytesDone = slice->Begin
                + (slice->ParsedEnd - slice->Begin) * m_cursor / std::max<std::size_t>(slice->Rows, 1);
            if (m_cursor == m_stopRow) {
                EndSlice(*slice);
                if (Ended())
                    return TAppendState::Ended;
            }
            if (m_result.Rows - m_rowsAtMemoryCheck >= m_options.RowsPerMemoryCheck) {
                m_rowsAtMemoryCheck = m_result.Rows;
                if (MemoryRunningOut()) {
                    Finish(TLoadStatus::NoMemory, m_result.Rows + 2, "");
                    return TAppendState::Ended;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return TAppendState::MoreReady;
        }
    } catch (const std::bad_alloc&) {
        // The session is as it was before the frame that did not fit.
        Finish(TLoadStatus::NoMemory, m_result.Rows + 2, "");
        return TAppendState::Ended;
    }
}

std::size_t TRecordingLoader::JoinedRows(const TParsedSlice& slice)
{
    std::size_t stop = slice.Rows;
    m_joinProblem.clear();
    if (stop > 0 && slice.TimeUs[0] < m_lastTimeUs) {
        m_joinProblem = TimeGoesBackText(slice.TimeUs[0], m_lastTimeUs);
        return 0;
    }
    for (int a = 0; a < AxisCount; ++a) {
        const std::size_t row = slice.FirstRow[a];
        if (row < stop && m_nextIndex[a] >= 0 && slice.FirstIndex[a] != m_nextIndex[a]) {
            stop = row;
            m_joinProblem = IndexGapText(TAxis(a), slice.FirstIndex[a], m_nextIndex[a]);
        }
    }
    return stop;
}

void TRecordingLoader::EndSlice(const TParsedSlice& slice)
{
    if (m_stopRow > 0)
        m_lastTimeUs = slice.TimeUs[m_stopRow - 1];
    const std::uint64_t line = m_result.Rows + 2;  // after the header and the rows appended
    if (m_stopRow < slice.Rows) {
        Finish(TLoadStatus::BadRow, line, m_joinProblem);
        return;
    }
    switch (slice.End) {
    case TParsedSlice::TEnd::SliceEnd:
        m_pipeline->PopHead();
        m_joined = false;
        return;
    case TParsedSlice::TEnd::BadRow:
        Finish(TLoadStatus::BadRow, line, slice.DescribeProblem());
        return;
    case TParsedSlice::TEnd::CutRow:
        m_result.LastRowCut = true;
        Finish(TLoadStatus::Complete, line, "");
        return;
    case TParsedSlice::TEnd::NoMemory:
        Finish(TLoadStatus::NoMemory, line, "");
        return;
    case TParsedSlice::TEnd::FileShrank:
        Finish(TLoadStatus::FileShrank, line, "");
        return;
    }
}

bool TRecordingLoader::MemoryRunningOut() const
{
    const std::optional<std::uint64_t> available = m_options.AvailableMemory();
    return available && *available < m_options.ReserveBytes;
}

void TRecordingLoader::Cancel()
{
    if (Ended())
        return;
    Finish(TLoadStatus::Cancelled, m_result.Rows + 2, "");
}

void TRecordingLoader::Finish(TLoadStatus status, std::uint64_t line, const std::string& problem)
{
    // A file cut shorter meanwhile reads as zeros to the end of its last
    // page: what looks like a bad or cut row is the truncation.
    if ((status == TLoadStatus::BadRow || (status == TLoadStatus::Complete && m_result.LastRowCut)) && m_file.Shrank()) {
        status = TLoadStatus::FileShrank;
        m_result.LastRowCut = false;
    }
    // The workers first: nothing of theirs is used after this.
    if (m_pipeline)
        m_pipeline->Stop();
    m_pipeline.reset();
    m_result.Status = status;
    m_result.Line = line;
    if (status == TLoadStatus::Complete) {
        m_bytesDone = m_file.Size();
        if (!m_result.LastRowCut)
            m_result.Line = 0;
    }
    try {
        m_result.Message = Message(status, line, problem);
    } catch (const std::bad_alloc&) {
        m_result.Message.clear();  // Status still says how it ended
    }
}

std::string TRecordingLoader::Message(TLoadStatus status, std::uint64_t line, const std::string& problem) const
{
    const std::string name = "\"" + m_file.Path() + "\"";
    const std::string at = "linha " + GroupedNumber(line);
    const std::string kept = m_result.Rows == 0   ? "Nenhum ponto foi carregado."
                             : m_result.Rows == 1 ? "O ponto anterior foi carregado."
                                                  : "Os " + GroupedNumber(m_result.Rows) + " pontos anteriores foram carregados.";
    switch (status) {
    case TLoadStatus::Loading:
        break;
    case TLoadStatus::Complete:
        if (m_result.LastRowCut)
            return "A última linha de " + name + " (" + at + ") está incompleta, como fica a de uma gravação "
                   "interrompida, e foi deixada de fora.";
        break;
    case TLoadStatus::BadRow:
        return "A leitura de " + name + " parou na " + at + ": " + problem + ". " + kept;
    case TLoadStatus::Cancelled:
        return "A leitura de " + name + " foi cancelada na " + at + ". " + kept;
    case TLoadStatus::NoMemory:
        return "A memória livre acabou durante a leitura de " + name + ", na " + at + ". " + kept;
    case TLoadStatus::FileShrank:
        return name + " ficou menor durante a leitura, na " + at + ": outro programa o truncou. " + kept;
    }
    return "";
}

TLoadProgress TRecordingLoader::Progress() const
{
    TLoadProgress progress;
    progress.Rows = m_result.Rows;
    progress.Bytes = std::min(m_bytesDone, m_file.Size());
    progress.TotalBytes = m_file.Size();
    return progress;
}

TLoadResult LoadRecording(const std::string& path, TSession& session, TLoadOptions options)
{
    TRecordingLoader loader(path, session, std::move(options));
    std::mutex mutex;
    std::condition_variable wake;
    bool ready = false;
    loader.Start([&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ready = true;
        }
        wake.notify_one();
    });
    using TClock = std::chrono::steady_clock;
    for (;;) {
        const auto state = loader.AppendReady(TClock::time_point::max());
        if (state == TRecordingLoader::TAppendState::Ended)
            return loader.Result();
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return ready; });
        ready = false;
    }
}
