#include "allocator.h"

#include <cstring>

#if defined(QUILLON_WITH_MIMALLOC)
#include <mimalloc.h>
#else
#include <malloc.h>
#endif

namespace quillon {
namespace cli {

#if defined(QUILLON_WITH_MIMALLOC)
namespace {

// Whether the environment names the allocator's option `name`
// ("MIMALLOC_" and the name): the user's choice is then kept.
bool Named(char** envp, const char* name) {
  static const char kPrefix[] = "MIMALLOC_";
  const size_t prefix = sizeof kPrefix - 1;
  const size_t length = std::strlen(name);
  for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, kPrefix, prefix) == 0 &&
        std::strncmp(*entry + prefix, name, length) == 0 && (*entry)[prefix + length] == '=') {
      return true;
    }
  }
  return false;
}

// Sets the options before the allocator takes its first memory from the
// system: a function of the program's pre-initialisation runs before any
// library is initialised, and so before the first allocation (the C++
// library's own). Set later, the options would not apply to the calling
// thread's first 32 MiB, which hold most of a small picture.
void TuneAllocatorFirst(int, char**, char** envp) {
  if (!Named(envp, "LARGE_OS_PAGES")) mi_option_enable(mi_option_large_os_pages);
  // Without this, the first memory of every thread but the first is
  // committed piece by piece, in pages of 4 KiB: the threads that load the
  // document and write the page would fault as before.
  if (!Named(envp, "EAGER_COMMIT_DELAY")) mi_option_set(mi_option_eager_commit_delay, 0);
}

__attribute__((section(".preinit_array"), used)) void (*const kTuneAllocatorFirst)(
    int, char**, char**) = &TuneAllocatorFirst;

}  // namespace
#endif

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
