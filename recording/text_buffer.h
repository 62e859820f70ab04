#pragma once
// Text made a slice at a time for a writer on another thread: a buffer that
// grows without filling its room first and keeps its room when emptied, so
// that slices passed back and forth between two threads cost neither an
// allocation nor fresh pages once the first few have been made. Qt-free.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

class TTextBuffer {
public:
    TTextBuffer() = default;
    // A buffer moved from is empty, without room.
    TTextBuffer(TTextBuffer&& other) noexcept { *this = std::move(other); }
    TTextBuffer& operator=(TTextBuffer&& other) noexcept
    {
        m_data = std::move(other.m_data);
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        other.m_size = other.m_capacity = 0;
        return *this;
    }

    // Room for bytes more at the end; write there, then Commit.
    char* Reserve(std::size_t bytes)
    {
        if (m_size + bytes > m_capacity) {
            const std::size_t capacity = std::max(m_size + bytes, 2 * m_capacity);
            std::unique_ptr<char[]> grown(new char[capacity]);
            if (m_size > 0)
                std::memcpy(grown.get(), m_data.get(), m_size);
            m_data = std::move(grown);
            m_capacity = capacity;
        }
        return m_data.get() + m_size;
    }
    // The end of what was written into the room Reserve gave.
    void Commit(const char* end) { m_size = std::size_t(end - m_data.get()); }
    void Append(std::string_view text)
    {
        char* p = Reserve(text.size());
        if (!text.empty())
            std::memcpy(p, text.data(), text.size());
        Commit(p + text.size());
    }
    void Clear() { m_size = 0; }

    std::string_view View() const { return {m_data.get(), m_size}; }
    std::size_t Size() const { return m_size; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};
