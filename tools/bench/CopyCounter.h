#pragma once
// Counts the bytes copied through memcpy and memmove by this program's own
// code (the program is linked with --wrap=memcpy and --wrap=memmove).
#include <cstddef>

size_t CopiedBytes();

// Copies without counting: what the kernel does when a socket is read.
void CopyAsReadFromSocket(void* target, const void* source, size_t size);
