#include "allocator.h"

#include <cstdlib>

#if defined(QUILLON_WITH_MIMALLOC)
#include <mimalloc.h>
#else
#include <malloc.h>
#endif

namespace quillon {
namespace cli {

void TuneAllocator() {
#if defined(QUILLON_WITH_MIMALLOC)
  // The environment, read when the allocator starts, decides when it names
  // an option.
  if (std::getenv("MIMALLOC_LARGE_OS_PAGES") == nullptr) {
    mi_option_enable(mi_option_large_os_pages);
  }
  // Without this, the first memory of every thread but the first is
  // committed piece by piece, in pages of 4 KiB: the threads that load the
  // document and write the page would fault as before.
  if (std::getenv("MIMALLOC_EAGER_COMMIT_DELAY") == nullptr) {
    mi_option_set(mi_option_eager_commit_delay, 0);
  }
#endif
}

void ReturnFreedMemory() {
#if defined(QUILLON_WITH_MIMALLOC)
  // Every thread's freed pages, not only the calling thread's.
  mi_collect(true);
#elif defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace cli
}  // namespace quillon
