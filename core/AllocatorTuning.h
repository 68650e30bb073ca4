#pragma once

// How the C library's allocator treats the large, short-lived blocks of a
// job (images, archives, server replies), so that a process running job
// after job does not grow.
//
// TuneAllocator() (idempotent) fixes the size from which blocks are mapped
// on their own at 1 MiB: the allocator otherwise raises that limit each time
// such a block is freed, until blocks of tens of megabytes land in the heaps
// of the many server threads and stay there. ReturnFreedMemory() hands back
// to the system what the heaps hold free, as a job ends.
void TuneAllocator();
void ReturnFreedMemory();
