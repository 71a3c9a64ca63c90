// Heap allocations of the whole process since it started.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

unsigned long zolt_bench_allocations(void);

#ifdef __cplusplus
}
#endif
