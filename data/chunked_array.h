#pragma once
// Append-only array stored in fixed-size chunks.
//
// Growing never moves what is already stored: a new chunk is allocated when
// the last one is full, and only the small table of chunk pointers is ever
// reallocated. Chunks of a trivially constructible type are left
// uninitialised, so their memory becomes resident only as it is written;
// other types are constructed in full when their chunk is allocated.
//
// Appends are exception-safe: Reserve() does every allocation the next
// PushBack needs and may throw, changing nothing; PushBack after it cannot
// throw. So a caller that appends to several arrays as one step reserves in
// all of them first.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <sys/mman.h>

template <typename T, unsigned ChunkBits>
class TChunkedArray {
public:
    static constexpr std::size_t ChunkSize = std::size_t(1) << ChunkBits;
    static constexpr std::size_t ChunkMask = ChunkSize - 1;

    std::size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }

    // Makes room for one more element. Throws std::bad_alloc, leaving the
    // array as it was.
    void Reserve()
    {
        if ((m_size & ChunkMask) != 0 || (m_size >> ChunkBits) < m_chunks.size())
            return;
        std::unique_ptr<T[]> chunk(new T[ChunkSize]);
        Prefault(chunk.get());
        // Should the table fail to grow, the chunk is freed with `chunk`.
        m_chunks.push_back(std::move(chunk));
    }

    // Makes room for count more elements (in as many chunks as they
    // need). Throws std::bad_alloc; the elements held stay as they were.
    void Reserve(std::size_t count)
    {
        const std::size_t chunks = (m_size + count + ChunkMask) >> ChunkBits;
        if (chunks <= m_chunks.size())
            return;
        m_chunks.reserve(chunks);
        while (m_chunks.size() < chunks) {
            std::unique_ptr<T[]> chunk(new T[ChunkSize]);
            Prefault(chunk.get());
            m_chunks.push_back(std::move(chunk));  // cannot throw: reserved
        }
    }

    // Drops the elements from size on; their chunks stay for the next ones.
    void Truncate(std::size_t size)
    {
        if (size >= m_size)
            return;
        m_size = size;
        m_tail = size > 0 ? m_chunks[(size - 1) >> ChunkBits].get() : nullptr;
    }

    void PushBack(const T& value)
    {
        if ((m_size & ChunkMask) == 0) {
            Reserve();
            m_tail = m_chunks[m_size >> ChunkBits].get();
        }
        m_tail[m_size & ChunkMask] = value;
        ++m_size;
    }

    T operator[](std::size_t index) const { return m_chunks[index >> ChunkBits][index & ChunkMask]; }
    // The last element (the array is not empty).
    T& Back() { return m_tail[(m_size - 1) & ChunkMask]; }
    const T& Back() const { return m_tail[(m_size - 1) & ChunkMask]; }

    // Address of the element at index (index < Size()).
    const T* At(std::size_t index) const { return m_chunks[index >> ChunkBits].get() + (index & ChunkMask); }

    // Start of the chunk holding index; valid up to the end of that chunk
    // (or of the array, whichever comes first).
    const T* ChunkAt(std::size_t index) const { return m_chunks[index >> ChunkBits].get(); }

    // Memory held, in bytes (chunks and their table).
    std::size_t HeldBytes() const
    {
        return m_chunks.size() * ChunkSize * sizeof(T) + m_chunks.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    // Large chunks are made resident in one step: page by page, the first
    // write to each page would stop the append for a fault. Best effort:
    // where the system cannot, the pages come on first use as usual.
    static void Prefault(T* chunk)
    {
        constexpr std::size_t Bytes = ChunkSize * sizeof(T);
        if constexpr (Bytes >= 16384) {
            const std::uintptr_t page = 4096;
            const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(chunk) + page - 1) & ~(page - 1);
            const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(chunk) + Bytes) & ~(page - 1);
            if (end > begin)
                ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
        }
    }

    std::vector<std::unique_ptr<T[]>> m_chunks;
    T* m_tail = nullptr;  // the chunk being filled: appends need no table lookup
    std::size_t m_size = 0;
};

// A sequence of bits, one per point, in 64-bit words. The word being filled
// is kept apart and stored when complete. The number of set bits before
// every 1024th bit is kept too (8 bytes per 1024 bits), so counting the set
// bits of any range costs two lookups and at most 15 words at each end.
class TBitArray {
public:
    static constexpr unsigned GroupBits = 10;  // bits per counted group

    std::size_t Size() const { return m_size; }

    bool operator[](std::size_t index) const
    {
        const std::uint64_t word = (index >> 6) < m_words.Size() ? m_words[index >> 6] : m_word;
        return (word >> (index & 63)) & 1u;
    }

    void Reserve()
    {
        if ((m_size & 63) == 63)
            m_words.Reserve();
        if ((m_size & GroupMask) == GroupMask)
            m_groupOnes.Reserve();
    }

    void PushBack(bool bit)
    {
        Reserve();
        m_word |= std::uint64_t(bit) << (m_size & 63);
        m_ones += bit;
        if ((++m_size & 63) == 0) {
            m_words.PushBack(m_word);
            m_word = 0;
        }
        if ((m_size & GroupMask) == 0)
            m_groupOnes.PushBack(m_ones);
    }

    // Set bits with index in [first, last); first <= last <= Size().
    std::uint64_t CountOnes(std::size_t first, std::size_t last) const { return OnesBefore(last) - OnesBefore(first); }

    std::size_t HeldBytes() const { return m_words.HeldBytes() + m_groupOnes.HeldBytes(); }

private:
    static constexpr std::size_t GroupMask = (std::size_t(1) << GroupBits) - 1;

    // Set bits with index below index (index <= Size()).
    std::uint64_t OnesBefore(std::size_t index) const
    {
        const std::size_t group = index >> GroupBits;
        std::uint64_t ones = group == 0 ? 0 : m_groupOnes[group - 1];
        const std::size_t word = index >> 6;
        for (std::size_t w = group << (GroupBits - 6); w < word; ++w)
            ones += std::uint64_t(__builtin_popcountll(m_words[w]));
        if ((index & 63) != 0) {
            const std::uint64_t bits = word < m_words.Size() ? m_words[word] : m_word;
            ones += std::uint64_t(__builtin_popcountll(bits & ((std::uint64_t(1) << (index & 63)) - 1)));
        }
        return ones;
    }

    TChunkedArray<std::uint64_t, 12> m_words;
    std::uint64_t m_word = 0;
    std::size_t m_size = 0;
    std::uint64_t m_ones = 0;
    // Set bits in every group up to and including each complete one.
    TChunkedArray<std::uint64_t, 10> m_groupOnes;
};
