#include "CopyCounter.h"

#include <atomic>

namespace {
std::atomic<size_t> g_copiedBytes{0};
}  // namespace

extern "C" {
void* __real_memcpy(void* target, const void* source, size_t size);
void* __real_memmove(void* target, const void* source, size_t size);

void* __wrap_memcpy(void* target, const void* source, size_t size)
{
    g_copiedBytes.fetch_add(size, std::memory_order_relaxed);
    return __real_memcpy(target, source, size);
}

void* __wrap_memmove(void* target, const void* source, size_t size)
{
    g_copiedBytes.fetch_add(size, std::memory_order_relaxed);
    return __real_memmove(target, source, size);
}
}

void CopyAsReadFromSocket(void* target, const void* source, size_t size)
{
    __real_memcpy(target, source, size);
}

size_t CopiedBytes()
{
    return g_copiedBytes.load();
}
