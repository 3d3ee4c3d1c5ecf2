// Prints the thread limit that the OpenMP runtime works with after
// LimitOpenMPThreads, and whether the runtime was already loaded before
// main() (as Qt's dependencies load it).
#include "ocr/tesseractocr.utils.h"

#include <dlfcn.h>

#include <cstdio>

int main(int, char** argv) {
  const bool Preloaded = dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD) != nullptr;
  tesseractocr::LimitOpenMPThreads(argv);
  void* OpenMP = dlopen("libgomp.so.1", RTLD_NOW);
  auto ThreadLimit = OpenMP ? reinterpret_cast<int (*)()>(dlsym(OpenMP, "omp_get_thread_limit")) : nullptr;
  if (!ThreadLimit)
    return 1;
  std::printf("preloaded=%d limit=%d\n", Preloaded ? 1 : 0, ThreadLimit());
  return 0;
}
