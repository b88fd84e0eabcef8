#include "perf/perf_columns.h"

#include "perf/interval_loops.h"

const std::map<std::int32_t, std::string> perfCounterColumns = {
    {0, "\\Corvex.ZEL driver state\\Boot timestamp"},
    {1, "\\Corvex.ZEL performance(General: Anti-malware file system callback)\\Total count"},
    {2, "\\Corvex.ZEL performance(General: Anti-malware file system callback)\\Total elapsed time"},
    {3, "\\Corvex.ZEL performance(General: Event Journal file system callback)\\Total count"},
    {4, "\\Corvex.ZEL performance(General: Event Journal file system callback)\\Total elapsed time"},
    {5, "\\Corvex.ZEL performance(General: Tamper Protection file system callback)\\Total count"},
    {6, "\\Corvex.ZEL performance(General: Tamper Protection file system callback)\\Total elapsed time"},
    {7, "\\Corvex.ZEL performance(General: ORB file system callback)\\Total count"},
    {8, "\\Corvex.ZEL performance(General: ORB file system callback)\\Total elapsed time"},
    {9, "\\Corvex.ZEL performance(General: Pinned hashing)\\Total count"},
    {10, "\\Corvex.ZEL performance(General: Pinned hashing)\\Total elapsed time"},
    {11, "\\Corvex.ZEL performance(General: Pinned hash disk IO)\\Total elapsed time"},
    {12, "\\Corvex.ZEL performance(General: Pinned hashing)\\Total size (bytes)"},
    {13, "\\Corvex.ZEL performance(General: Pinned QIX request)\\Total count"},
    {14, "\\Corvex.ZEL performance(General: Pinned QIX request)\\Total elapsed time"},
    {15, "\\Corvex.ZEL performance(General: Pinned QIX disk IO)\\Total elapsed time"},
    {16, "\\Corvex.ZEL performance(General: Pinned QIX request)\\Total size (bytes)"},
    {17, "\\Corvex.ZEL performance(General: Pinned ORB request)\\Total count"},
    {18, "\\Corvex.ZEL performance(General: Pinned ORB request)\\Total elapsed time"},
    {19, "\\Corvex.ZEL performance(General: Pinned ORB disk IO)\\Total elapsed time"},
    {20, "\\Corvex.ZEL performance(General: Pinned ORB request)\\Total size (bytes)"},
    {21, "\\Corvex.ZEL performance(General: Pinned EDR hashing)\\Total count"},
    {22, "\\Corvex.ZEL performance(General: Pinned EDR hashing)\\Total elapsed time"},
    {23, "\\Corvex.ZEL performance(General: Pinned EDR hashing disk IO)\\Total elapsed time"},
    {24, "\\Corvex.ZEL performance(General: Pinned EDR hashing)\\Total size (bytes)"},
    {25, "\\Corvex.ZEL performance(General: Pinned HMR request)\\Total count"},
    {26, "\\Corvex.ZEL performance(General: Pinned HMR request)\\Total elapsed time"},
    {27, "\\Corvex.ZEL performance(General: JIT on open HMR request)\\Total count"},
    {28, "\\Corvex.ZEL performance(General: JIT on open HMR request)\\Total elapsed time"},
    {29, "\\Corvex.ZEL performance(General: JIT on close HMR request)\\Total count"},
    {30, "\\Corvex.ZEL performance(General: JIT on close HMR request)\\Total elapsed time"},
    {31, "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Total"},
    {32, "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Hits"},
    {33, "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Misses"},
    {34, "\\Corvex.ZEL caching(Pinned File Checksum Cache)\\Invalidated"},
    {35, "\\Corvex.ZEL caching(Pinned QIX properties)\\Total"},
    {36, "\\Corvex.ZEL caching(Pinned QIX properties)\\Hits"},
    {37, "\\Corvex.ZEL caching(Pinned QIX properties)\\Misses"},
    {38, "\\Corvex.ZEL caching(Pinned QIX properties)\\Invalidated"},
    {39, "\\Corvex.ZEL caching(Pinned ORB properties)\\Total"},
    {40, "\\Corvex.ZEL caching(Pinned ORB properties)\\Hits"},
    {41, "\\Corvex.ZEL caching(Pinned ORB properties)\\Misses"},
    {42, "\\Corvex.ZEL caching(Pinned ORB properties)\\Invalidated"},
    {43, "\\Corvex.ZEL caching(Pinned decision)\\Total"},
    {44, "\\Corvex.ZEL caching(Pinned decision)\\Hits"},
    {45, "\\Corvex.ZEL caching(Pinned decision)\\Misses"},
    {46, "\\Corvex.ZEL caching(Pinned decision)\\Invalidated"},
    {47, "\\Corvex.ZEL caching(Pinned decision)\\Expired"},
    {48, "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Total"},
    {49, "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Hits"},
    {50, "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Misses"},
    {51, "\\Corvex.ZEL caching(Pinned EDR Checksum Cache)\\Invalidated"},
};

PerfInterval perfIntervalBetween(const PerfSample& earlier, const PerfSample& later) {
    PerfInterval interval;
    for (std::size_t k = 0; k < perfColumnCount; ++k) {
        interval.deltas[k] = later.values[k] - earlier.values[k];
    }
    return interval;
}

bool formPerfInterval(const PerfSample& earlier, const PerfSample& later, PerfInterval& interval) {
    return later.values[0] == earlier.values[0] && intervalLoops().subtract(earlier.values.data(), later.values.data(),
                                                                            interval.deltas.data(), perfColumnCount);
}

std::optional<PerfInterval> formPerfInterval(const PerfSample& earlier, const PerfSample& later) {
    std::optional<PerfInterval> interval(std::in_place);
    if (!formPerfInterval(earlier, later, *interval)) {
        interval.reset();
    }
    return interval;
}
