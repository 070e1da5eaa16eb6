#pragma once
// How the C library hands out memory to a program whose large blocks are pictures: several a
// second, a few megabytes each, made on worker threads and freed on another.

namespace platform {

// All threads share one heap, pictures included, and it grows in large steps. Left to itself,
// the C library gives each thread that allocates a heap of its own, and every decoding thread
// keeps the memory of the pictures it made after they are gone (some 20 MB more during a
// show). One heap reuses that memory for the next picture, whichever thread makes it, without
// the page faults of fresh memory. Call it first thing in main(), before any thread starts.
void returnPictureMemoryPromptly();

// The memory the system could give this program now without swapping, in bytes; -1 where it
// cannot tell. Any thread.
long long availableMemoryBytes();

} // namespace platform
