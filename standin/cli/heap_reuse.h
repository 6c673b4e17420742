// How the one-shot program asks the C library to keep the memory it frees.
#pragma once

namespace cli {

// A run frees large blocks between its steps (the tool's buffers and the
// staged moves after the build, then the output is formatted), and by default
// each of them goes back to the system and the next one is fresh pages,
// faulted in and zeroed again: about a quarter of the program's system time.
// Kept in the process, they are reused as they are. The peak stays the same
// (what is kept was in use a moment before); a process that runs for a long
// time (the playground) does not call this. No effect outside glibc.
void keepFreedMemoryForReuse();

}  // namespace cli
