// The standard output the process was started with, for programs that have
// no console of their own: a GUI program's messages reach a parent that gave
// it a pipe or a file, and are dropped otherwise.
#pragma once

#include <cstdint>

// Writes size bytes; false when there is no standard output or the write
// fails or is short.
bool WriteStandardOutput(const void* data, uint32_t size);
