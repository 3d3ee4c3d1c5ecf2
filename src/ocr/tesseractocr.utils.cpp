#include "ocr/tesseractocr.utils.h"

#include "ocr/tesseractocr.capi.h"

#include <QFile>

#include <climits>

#include <dlfcn.h>
#include <unistd.h>

namespace tesseractocr {

QString PUTF8CharToString(const char* AUTF8Char, bool ADeleteText) {
  if (!AUTF8Char)
    return {};
  const QString Result = QString::fromUtf8(AUTF8Char);
  if (ADeleteText && capi::TessDeleteText)
    capi::TessDeleteText(AUTF8Char);
  return Result;
}

QByteArray LibraryFileName(const QString& aDllPath, const char* FileName) {
  QByteArray Result = QFile::encodeName(aDllPath + QString::fromUtf8(FileName));
  if (!Result.contains('/'))
    Result.prepend("./");
  return Result;
}

void KeepOpenMPOnThisThread() {
  // Looked up rather than linked, so that the program needs no OpenMP of its own.
  using TSetInt = void (*)(int);
  if (auto SetMaxActiveLevels = reinterpret_cast<TSetInt>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels")))
    SetMaxActiveLevels(0);
  if (auto SetNumThreads = reinterpret_cast<TSetInt>(dlsym(RTLD_DEFAULT, "omp_set_num_threads")))
    SetNumThreads(1);
}

void LimitOpenMPThreads(char** argv) {
  if (qEnvironmentVariableIsSet("OMP_THREAD_LIMIT"))
    return;
  qputenv("OMP_THREAD_LIMIT", "1");
  // GCC's and LLVM's OpenMP runtimes; one that is not loaded yet will see the
  // limit when the Tesseract library brings it in.
  for (const char* Runtime : {"libgomp.so.1", "libomp.so.5", "libomp.so"}) {
    if (void* OpenMP = dlopen(Runtime, RTLD_LAZY | RTLD_NOLOAD)) {
      dlclose(OpenMP);
      // The executable's own path rather than /proc/self/exe, which would
      // rename the process to "exe".
      char Executable[PATH_MAX];
      const ssize_t Length = readlink("/proc/self/exe", Executable, sizeof Executable - 1);
      if (Length > 0) {
        Executable[Length] = '\0';
        execv(Executable, argv);
      }
      return;
    }
  }
}

} // namespace tesseractocr
