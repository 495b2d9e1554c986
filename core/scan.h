#pragma once

#include "comparisonlist.h"

#include <vector>

namespace common {

/// A file found by the scan: its path relative to the scanned folder and what the scan's own stat saw.
struct ScannedFile
{
    NativePath name;
    SeenFile seen;
};

/// The files of a scan, kept in chunks of 16,384: growing never moves the files found so far (a vector
/// would copy a million of them at once, a pause the window would feel), and the large chunks go back to
/// the system when the load is done, instead of leaving holes between the names.
class ScannedFiles
{
public:
    static constexpr size_t ChunkSize = 16384;
    void push_back(ScannedFile file)
    {
        if (m_size == m_chunks.size() * ChunkSize) {
            m_chunks.emplace_back();
            m_chunks.back().reserve(ChunkSize);
        }
        m_chunks[m_size / ChunkSize].push_back(std::move(file));
        ++m_size;
    }
    size_t size() const { return m_size; }
    ScannedFile &operator[](size_t i) { return m_chunks[i / ChunkSize][i % ChunkSize]; }
    const ScannedFile &operator[](size_t i) const { return m_chunks[i / ChunkSize][i % ChunkSize]; }
    /// Empties the list and gives its memory back.
    void clear();
    /// Empties the list and keeps its chunks for a scan that follows at once: a million files' worth of
    /// memory given back and faulted in again is work for nothing. The next clear() gives it back.
    void clearForNextScan();

    /// The files in order, for a range-for.
    class const_iterator
    {
    public:
        const_iterator(const ScannedFiles &files, size_t i) : m_files(&files), m_i(i) {}
        const ScannedFile &operator*() const { return (*m_files)[m_i]; }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator!=(const const_iterator &other) const { return m_i != other.m_i; }

    private:
        const ScannedFiles *m_files;
        size_t m_i;
    };
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, m_size}; }

private:
    std::vector<std::vector<ScannedFile>> m_chunks;
    size_t m_size = 0;
};

} // namespace common
