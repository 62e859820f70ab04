#pragma once
// Append-only array stored in fixed-size chunks.
//
// Growing never moves what is already stored: a new chunk is allocated when
// the last one is full, and only the small table of chunk pointers is ever
// reallocated. Chunks are allocated uninitialised, so memory becomes
// resident only as it is written.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

template <typename T, unsigned ChunkBits>
class TChunkedArray {
public:
    static constexpr std::size_t ChunkSize = std::size_t(1) << ChunkBits;
    static constexpr std::size_t ChunkMask = ChunkSize - 1;

    std::size_t Size() const { return m_size; }

    void PushBack(T value)
    {
        const std::size_t offset = m_size & ChunkMask;
        if (offset == 0) {
            m_chunks.emplace_back(new T[ChunkSize]);
            m_tail = m_chunks.back().get();
        }
        m_tail[offset] = value;
        ++m_size;
    }

    T operator[](std::size_t index) const { return m_chunks[index >> ChunkBits][index & ChunkMask]; }

    // Start of the chunk holding index; valid up to the end of that chunk
    // (or of the array, whichever comes first).
    const T* ChunkAt(std::size_t index) const { return m_chunks[index >> ChunkBits].get(); }

private:
    std::vector<std::unique_ptr<T[]>> m_chunks;
    T* m_tail = nullptr;
    std::size_t m_size = 0;
};
