// Replaces the C library's allocation functions (declared, as the C library
// declares them, not to throw) and C++'s operator new in
// the test program that includes this header (in one source file only; such
// a program cannot run under the sanitizers, which own the allocator). While
// the watch is on it counts every allocation and its bytes, keeps track of
// the blocks obtained until they are released, and refuses (returns null
// for) the allocation numbered `refuse_at`, counted from 1; 0 refuses none.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void* __libc_memalign(size_t alignment, size_t size);
extern "C" void __libc_free(void* block);

struct AllocationWatch {
    static constexpr int MAX_LIVE = 4096;
    bool on = false;
    long calls = 0;    // allocations asked for while on
    size_t bytes = 0;  // and their bytes
    long refuse_at = 0;
    int live = 0;      // blocks obtained while on and not released since
    void* blocks[MAX_LIVE];

    void start(long refuse = 0)
    {
        calls = 0;
        bytes = 0;
        live = 0;
        refuse_at = refuse;
        on = true;
    }
    void stop() { on = false; }

    // Counts an allocation; false when it is the one to refuse.
    bool admit(size_t size)
    {
        if (!on)
            return true;
        ++calls;
        bytes += size;
        return calls != refuse_at;
    }
    void* track(void* block)
    {
        if (on && block && live < MAX_LIVE)
            blocks[live++] = block;
        return block;
    }
    void release(void* block)
    {
        for (int i = 0; i < live; ++i)
            if (blocks[i] == block) {
                blocks[i] = blocks[--live];
                return;
            }
    }
};

inline AllocationWatch allocation_watch;

extern "C" void* malloc(size_t size) noexcept
{
    return allocation_watch.admit(size) ? allocation_watch.track(__libc_malloc(size)) : nullptr;
}
extern "C" void* calloc(size_t count, size_t size) noexcept
{
    return allocation_watch.admit(count * size) ? allocation_watch.track(__libc_calloc(count, size)) : nullptr;
}
extern "C" void* realloc(void* block, size_t size) noexcept
{
    if (!allocation_watch.admit(size))
        return nullptr;
    allocation_watch.release(block);
    return allocation_watch.track(__libc_realloc(block, size));
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) noexcept
{
    return allocation_watch.admit(size) ? allocation_watch.track(__libc_memalign(alignment, size)) : nullptr;
}
extern "C" int posix_memalign(void** out, size_t alignment, size_t size) noexcept
{
    *out = aligned_alloc(alignment, size);
    return *out ? 0 : 12;  // ENOMEM
}
extern "C" void free(void* block) noexcept
{
    allocation_watch.release(block);
    __libc_free(block);
}
void* operator new(size_t size)
{
    if (void* block = malloc(size))
        return block;
    throw std::bad_alloc();
}
void* operator new[](size_t size)
{
    return operator new(size);
}
