// Entry point of ribbons_bench: the benchmarks of every *_bench.cpp. The
// summary of nanoseconds per unit of work and the ratios between them is
// printed as the program ends, after the library's own table.

#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
