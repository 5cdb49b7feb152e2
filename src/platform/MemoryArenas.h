#pragma once
// The allocator's per-thread pools. By default glibc gives busy threads
// pools of their own, up to eight per core, and keeps what a pool freed for
// that pool: a sync runs dozens of worker threads that each pass large
// transient buffers (file content, listings, request bodies), and the
// freed memory stays resident, spread over the pools, long after the work.
// Few pools let freed memory be reused by whichever thread asks next.

namespace nb::platform {

// Limits the allocator to a few pools. Call first thing in main, before
// any thread starts; later calls change only the pools made afterwards.
void limitMemoryArenas();

}  // namespace nb::platform
