#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// Translations already made, by key, dropping the least recently used ones
// once their bytes pass the cap. Thread-safe.
class TTranslationCache {
public:
  explicit TTranslationCache(size_t MaxBytes = size_t{16} << 20);

  std::optional<std::string> Find(const std::string& Key);
  void Insert(const std::string& Key, std::string Value);
  size_t Bytes() const;

private:
  using TEntry = std::pair<std::string, std::string>;
  static size_t Cost(const TEntry& Entry);

  const size_t FMaxBytes;
  mutable std::mutex FMutex;
  std::list<TEntry> FOrder;
  std::unordered_map<std::string, std::list<TEntry>::iterator> FIndex;
  size_t FBytes = 0;
};
