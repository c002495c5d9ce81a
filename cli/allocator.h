// How the quillon command uses its allocator.
#pragma once

namespace quillon {
namespace cli {

// With the command's own allocator (see cli/CMakeLists.txt), its memory is
// taken from the system in pages of 2 MiB where the system gives them
// (transparent huge pages), from the first allocation on: a 50,000-object
// picture then touches a few thousand pages rather than some sixty
// thousand, each of which costs the kernel a fault. This is set before
// main runs; MIMALLOC_LARGE_OS_PAGES=0 and MIMALLOC_EAGER_COMMIT_DELAY=1 in
// the environment keep the allocator's own defaults.

// Gives the system back the pages the allocator keeps from blocks already
// freed. The allocator holds them for a while to reuse; after a picture most
// of them would only raise the peak of the steps that follow (the HTML5
// page reads the page description whole, the next picture loads its
// document).
void ReturnFreedMemory();

}  // namespace cli
}  // namespace quillon
