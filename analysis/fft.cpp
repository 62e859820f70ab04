#include "fft.h"

#include <map>
#include <mutex>

namespace {

// FFTW's planner, and the plans made so far. Plans live until the program
// ends: they are few (one per length asked) and small.
struct TPlanner {
    std::mutex Lock;
    std::map<int, std::unique_ptr<TRealFft>> Plans;

    ~TPlanner()
    {
        std::lock_guard<std::mutex> lock(Lock);
        for (auto& [length, fft] : Plans)
            fftwf_destroy_plan(fft->Plan());
    }
};

TPlanner& Planner()
{
    static TPlanner planner;
    return planner;
}

}  // namespace

const TRealFft& TRealFft::ForLength(int length)
{
    TPlanner& planner = Planner();
    std::lock_guard<std::mutex> lock(planner.Lock);
    auto found = planner.Plans.find(length);
    if (found != planner.Plans.end())
        return *found->second;
    TFftBuffer<float> in{std::size_t(length)};
    TFftBuffer<fftwf_complex> out{std::size_t(length) / 2 + 1};
    fftwf_set_timelimit(PlanningSeconds);
    const fftwf_plan plan = fftwf_plan_dft_r2c_1d(length, in.Data(), out.Data(), FFTW_MEASURE);
    if (!plan)
        throw std::bad_alloc();
    auto made = std::make_unique<TRealFft>(length, plan);
    const TRealFft& result = *made;
    planner.Plans.emplace(length, std::move(made));
    return result;
}
