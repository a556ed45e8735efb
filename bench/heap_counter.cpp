// The malloc family replaced by thin wrappers around glibc's own allocator that keep a running
// total and its high-water mark. Single-threaded use only: benchmarks run on one thread.
#include "heap_counter.h"

#include <malloc.h>

#include <cerrno>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {

size_t Held = 0;
size_t Peak = 0;
size_t StartHeld = 0;

void* Counted(void* block) {
    if (block) {
        Held += malloc_usable_size(block);
        if (Held > Peak) Peak = Held;
    }
    return block;
}

void Uncount(void* block) {
    if (block) Held -= malloc_usable_size(block);
}

}  // namespace

void ResetHeapPeak() {
    StartHeld = Held;
    Peak = Held;
}

size_t HeapPeakAboveStart() { return Peak - StartHeld; }

extern "C" {

void* malloc(size_t size) { return Counted(__libc_malloc(size)); }

void* calloc(size_t count, size_t size) { return Counted(__libc_calloc(count, size)); }

void* realloc(void* block, size_t size) {
    const size_t before = block ? malloc_usable_size(block) : 0;
    void* moved = __libc_realloc(block, size);
    if (moved || size == 0) {
        Held -= before;
        Counted(moved);
    }
    return moved;
}

void free(void* block) {
    Uncount(block);
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }

void* aligned_alloc(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }

int posix_memalign(void** result, size_t alignment, size_t size) {
    void* block = Counted(__libc_memalign(alignment, size));
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}

}  // extern "C"
