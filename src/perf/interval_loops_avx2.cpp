// The interval loops compiled for AVX2: four columns a step. This file alone
// is compiled so; intervalLoops() calls into it only after asking the processor.
#include "perf/interval_loops.h"
#include "perf/interval_loops_impl.h"

const IntervalLoops avx2IntervalLoops = {subtractLoop, addToSumsLoop, toDoublesLoop, divideLoop};
