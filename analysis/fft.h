#pragma once
// Real-to-complex FFTs of FFTW in single precision, planned once per length
// and shared by every thread.
//
// FFTW's planner is not thread-safe while its execution is: plans are made
// under one lock and then executed by any thread on arrays of its own
// (fftwf_execute_dft_r2c), which must be aligned as the arrays the plan was
// made with: TFftBuffer gives 64-byte alignment, as the planning arrays.
// Qt-free.

#include <fftw3.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

// An array for FFTW: aligned to 64 bytes, uninitialised.
template <typename T>
class TFftBuffer {
public:
    TFftBuffer() = default;
    explicit TFftBuffer(std::size_t count)
        : m_data(static_cast<T*>(std::aligned_alloc(Alignment, RoundUp(count * sizeof(T))))), m_count(count)
    {
        if (!m_data)
            throw std::bad_alloc();
    }

    T* Data() const { return m_data.get(); }
    std::size_t Count() const { return m_count; }
    T& operator[](std::size_t i) const { return m_data.get()[i]; }

    static constexpr std::size_t Alignment = 64;

private:
    struct TFree {
        void operator()(T* p) const { std::free(p); }
    };
    static std::size_t RoundUp(std::size_t bytes) { return (bytes + Alignment - 1) / Alignment * Alignment; }

    std::unique_ptr<T, TFree> m_data;
    std::size_t m_count = 0;
};

// The transform of `length` real values (a power of two) into length/2 + 1
// complex ones, e^(-2 pi i k n / length), unnormalised.
class TRealFft {
public:
    // The shared plan for length, made on first use (that first call may
    // take a while: FFTW measures which algorithm is fastest, for at most
    // PlanningSeconds). Throws std::bad_alloc when FFTW cannot plan.
    static const TRealFft& ForLength(int length);

    int Length() const { return m_length; }
    // in: Length() floats, out: Length()/2 + 1 complex values, both from
    // TFftBuffer. Any thread. `in` may be overwritten.
    void Execute(float* in, fftwf_complex* out) const { fftwf_execute_dft_r2c(m_plan, in, out); }

    static constexpr double PlanningSeconds = 0.25;

    // Made and destroyed by the planner only.
    TRealFft(int length, fftwf_plan plan) : m_length(length), m_plan(plan) {}
    TRealFft(const TRealFft&) = delete;
    TRealFft& operator=(const TRealFft&) = delete;

    fftwf_plan Plan() const { return m_plan; }

private:
    int m_length;
    fftwf_plan m_plan;
};
