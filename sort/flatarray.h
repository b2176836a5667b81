// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace Sort {

// A growing array of plain values. It grows with realloc, which for large
// blocks moves the pages rather than copying them, so growing never holds
// the old and the new array in memory at once.
template<typename T>
class FlatArray
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    FlatArray() = default;
    FlatArray(const FlatArray &) = delete;
    FlatArray &operator=(const FlatArray &) = delete;
    ~FlatArray() { std::free(m_data); }

    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        void *grown = std::realloc(m_data, capacity * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        m_data = static_cast<T *>(grown);
        m_capacity = capacity;
    }
    void append(const T *values, std::size_t count)
    {
        if (m_size + count > m_capacity)
            reserve(std::max(m_size + count, m_capacity + m_capacity / 2 + minimumGrowth));
        if (count > 0)
            std::memcpy(m_data + m_size, values, count * sizeof(T));
        m_size += count;
    }
    void push_back(const T &value) { append(&value, 1); }

    T *data() { return m_data; }
    const T *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T &operator[](std::size_t i) { return m_data[i]; }
    const T &operator[](std::size_t i) const { return m_data[i]; }
    T *begin() { return m_data; }
    T *end() { return m_data + m_size; }
    const T *begin() const { return m_data; }
    const T *end() const { return m_data + m_size; }

private:
    static constexpr std::size_t minimumGrowth = 1024;

    T *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

} // namespace Sort
