#pragma once
// A history file opened for reading without denying anything to the
// performance sampler, which keeps appending to it, renaming and deleting
// files while the collector reads. Bytes come through unchanged (no line-end
// translation): the CSV reader drops the carriage returns itself.
#include <cstddef>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

// Hands the stream the file in chunks; only where they come from is platform
// code. 64 KiB stays in the cache while the rows are split out of it, and sits
// below the allocator's threshold for mapping memory of its own, so the chunk
// of each file reuses the last one's and memory stays flat however many files
// a day of history is spread over.
class ChunkReadBuffer : public std::streambuf {
public:
    static constexpr std::size_t chunkSize = 1 << 16;

    ChunkReadBuffer();
    ~ChunkReadBuffer() override;

protected:
    // Fills up to size bytes; 0 means the end of the file or a read error,
    // which the reader treats alike.
    virtual std::size_t readChunk(char* destination, std::size_t size) = 0;

    int_type underflow() override;

private:
    std::unique_ptr<char[]> chunk_;
};

// Opens path with sharing that denies nothing to other processes; null when
// the file cannot be opened.
std::unique_ptr<ChunkReadBuffer> openHistoryFileBuffer(const std::wstring& path);

// The stream is not good when the file cannot be opened, so the first read
// from it fails like a read at the end of an empty file.
class HistoryFileStream : public std::istream {
public:
    explicit HistoryFileStream(const std::wstring& path);

private:
    std::unique_ptr<ChunkReadBuffer> buffer_;
};
