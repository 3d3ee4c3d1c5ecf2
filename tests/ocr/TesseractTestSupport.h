#pragma once

#include <QString>

#include <cstdlib>
#include <string>

// The Tesseract library reads OMP_THREAD_LIMIT when it is loaded; like
// korvex itself, tests run it on one thread unless told otherwise.
[[maybe_unused]] inline const bool OpenMPLimited = [] { return setenv("OMP_THREAD_LIMIT", "1", 0) == 0; }();

inline const QString RuntimeDir = QStringLiteral(KORVEX_RUNTIME_DIR);

// The message of the exception that Action throws, or "" when it throws none.
template <class TAction> std::string ErrorOf(TAction&& Action) {
  try {
    Action();
  } catch (const std::exception& Error) {
    return Error.what();
  }
  return {};
}
