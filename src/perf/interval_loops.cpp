#include "perf/interval_loops.h"

#include "perf/csv_reader.h"
#include "perf/interval_loops_impl.h"

const IntervalLoops baselineIntervalLoops = {subtractLoop, addToSumsLoop, toDoublesLoop, divideLoop};

const IntervalLoops& intervalLoops() {
#if defined(__x86_64__) || defined(_M_X64)
    // The same processor test as the reader's AVX2 line scan.
    static const IntervalLoops& best =
        csvScanKernelAvailable(CsvScanKernel::avx2) ? avx2IntervalLoops : baselineIntervalLoops;
    return best;
#else
    return baselineIntervalLoops;
#endif
}
