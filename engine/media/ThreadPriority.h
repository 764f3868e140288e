#pragma once
// Threads that others may overtake: a name to find them by (in top, in a
// debugger, in the tests) and a raised nice value on the thread alone
// (Linux keeps one per thread). Never the idle scheduling class: beside one
// busy program a thread in it gets a few tenths of a percent of a core, so
// the picture starved and a pause waited on it.

namespace media {

// The play and seek workers: the interface goes first, and programs at
// normal priority get a little more of the machine than the picture, but
// the picture keeps its pace beside them (measured beside two busy programs
// on two cores, bench/busy_bench.sh).
inline constexpr int kWorkerNice = 10;
// Work nobody waits for (reading a whole file for its timeline): last of all.
inline constexpr int kBackgroundNice = 19;

// Names the calling thread (at most 15 characters).
void NameThisThread(const char* name);
// Names it and raises its nice value to `nice`; a value it cannot take is
// left as it was.
void LowerThisThread(const char* name, int nice);

}  // namespace media
