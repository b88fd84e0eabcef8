#include "perf/history_stream.h"

ChunkReadBuffer::ChunkReadBuffer() : chunk_(new char[chunkSize]) {}

ChunkReadBuffer::~ChunkReadBuffer() = default;

ChunkReadBuffer::int_type ChunkReadBuffer::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
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
