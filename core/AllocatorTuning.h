#pragma once

// How the C library's allocator treats the large, short-lived blocks of a
// job (images, archives, server replies), so that a process running job
// after job does not grow.
//
// TuneAllocator() (idempotent) fixes the size from which blocks are mapped
// on their own at 1 MiB: the allocator otherwise raises that limit each time
// such a block is freed, until blocks of tens of megabytes land in the heaps
// of the many server threads and stay there. It also keeps every thread on
// one heap: with a heap per thread, each of the services' sixteen threads
// that serves a job keeps its own free memory, and a program running job
// after job grows until all of them have. Call it before threads start.
// ReturnFreedMemory() hands back to the system what the heap holds free, as
// a job ends.
void TuneAllocator();
void ReturnFreedMemory();
