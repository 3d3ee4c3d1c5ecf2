#pragma once

#include <QString>

#include <string>

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
