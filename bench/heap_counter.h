// Counts the bytes the process holds on the heap, for benchmarks that report the peak memory of
// one operation. Every malloc-family call of the program goes through the counter.
#pragma once
#include <cstddef>

// Starts a measurement: the peak becomes what is held now.
void ResetHeapPeak();
// Bytes held at the highest point since ResetHeapPeak, above what was held then.
size_t HeapPeakAboveStart();
