#include "server/TranslationCache.h"

TTranslationCache::TTranslationCache(size_t MaxBytes) : FMaxBytes(MaxBytes) {}

// The two strings, their copy as the index's key, and the nodes around them.
size_t TTranslationCache::Cost(const TEntry& Entry) { return 2 * Entry.first.size() + Entry.second.size() + 128; }

std::optional<std::string> TTranslationCache::Find(const std::string& Key) {
  std::lock_guard Lock(FMutex);
  const auto It = FIndex.find(Key);
  if (It == FIndex.end())
    return std::nullopt;
  FOrder.splice(FOrder.begin(), FOrder, It->second);
  return It->second->second;
}

void TTranslationCache::Insert(const std::string& Key, std::string Value) {
  std::lock_guard Lock(FMutex);
  if (const auto It = FIndex.find(Key); It != FIndex.end()) {
    FBytes -= Cost(*It->second);
    FOrder.erase(It->second);
    FIndex.erase(It);
  }
  TEntry Entry{Key, std::move(Value)};
  if (Cost(Entry) > FMaxBytes)
    return;
  FBytes += Cost(Entry);
  FOrder.push_front(std::move(Entry));
  FIndex.emplace(Key, FOrder.begin());
  while (FBytes > FMaxBytes) {
    FBytes -= Cost(FOrder.back());
    FIndex.erase(FOrder.back().first);
    FOrder.pop_back();
  }
}

size_t TTranslationCache::Bytes() const {
  std::lock_guard Lock(FMutex);
  return FBytes;
}
