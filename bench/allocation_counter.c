/* Counts every heap allocation of the process, libZolt.so's included: symbol
 * lookup tries the executable first, so the library's calls to malloc, and
 * libstdc++'s operator new, land here. The definitions must be exported, which
 * the project's hidden default visibility would prevent. */
#include <errno.h>
#include <stdatomic.h>
#include <stddef.h>

#include "allocation_counter.h"

#define EXPORTED __attribute__((visibility("default")))

extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t elements, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);
extern void __libc_free(void *block);

static atomic_ulong allocations;

static void countAllocation(void) { atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed); }

unsigned long zolt_bench_allocations(void) { return atomic_load_explicit(&allocations, memory_order_relaxed); }

EXPORTED void *malloc(size_t size) {
    countAllocation();
    return __libc_malloc(size);
}

EXPORTED void *calloc(size_t elements, size_t size) {
    countAllocation();
    return __libc_calloc(elements, size);
}

EXPORTED void *realloc(void *block, size_t size) {
    countAllocation();
    return __libc_realloc(block, size);
}

EXPORTED void free(void *block) { __libc_free(block); }

/* Aligned operator new goes through these. */
EXPORTED void *memalign(size_t alignment, size_t size) {
    countAllocation();
    return __libc_memalign(alignment, size);
}

EXPORTED void *aligned_alloc(size_t alignment, size_t size) {
    countAllocation();
    return __libc_memalign(alignment, size);
}

EXPORTED int posix_memalign(void **block, size_t alignment, size_t size) {
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    countAllocation();
    void *allocated = __libc_memalign(alignment, size);
    if (allocated == NULL) return ENOMEM;
    *block = allocated;
    return 0;
}
