#pragma once

#include <utility>

// Runs an action when the scope ends, also when a step in between throws:
// for settings that must be undone whatever happens (a cursor, a window's
// alpha).
template <typename F> class TScopeExit {
public:
  explicit TScopeExit(F Action) : FAction(std::move(Action)) {}
  ~TScopeExit() { FAction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  F FAction;
};
