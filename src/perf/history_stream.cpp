#include "perf/history_stream.h"

ChunkReadBuffer::ChunkReadBuffer() = default;

ChunkReadBuffer::~ChunkReadBuffer() = default;

ChunkReadBuffer::int_type ChunkReadBuffer::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    // Allocated at the first read, so a file that cannot be opened costs no chunk.
    if (!chunk_) {
        chunk_.reset(new char[chunkSize]);
    }
    const std::size_t received = readChunk(chunk_.get(), chunkSize);
    if (received == 0) {
        return traits_type::eof();
    }
    setg(chunk_.get(), chunk_.get(), chunk_.get() + received);
    return traits_type::to_int_type(*gptr());
}

HistoryFileStream::HistoryFileStream(const std::wstring& path)
    : std::istream(nullptr), buffer_(openHistoryFileBuffer(path)) {
    if (buffer_) {
        rdbuf(buffer_.get());
    } else {
        setstate(std::ios_base::failbit);
    }
}
