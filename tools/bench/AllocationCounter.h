#pragma once
// Counts heap allocations made through operator new in this program.
#include <cstddef>

size_t HeapAllocations();
