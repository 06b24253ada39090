// FlatMap: a small ordered map kept as one sorted vector.
//
// Property bags hold a few dozen entries, are copied whole (a table takes its
// format's properties, a file binding keeps a baseline copy) and compared far
// more often than they are changed. As one vector a copy is one allocation
// instead of one per entry, and a lookup a binary search over adjacent memory.
//
// It offers the subset of std::map's interface the model uses. Unlike
// std::map's, iterators and references into a FlatMap are invalidated by any
// insertion or erasure.
#ifndef GRIDWRIGHT_SUBSTITUTE_FLAT_MAP_H
#define GRIDWRIGHT_SUBSTITUTE_FLAT_MAP_H

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

namespace gw::substitute {

template <typename Key, typename Value>
class FlatMap {
 public:
  using key_type = Key;
  using mapped_type = Value;
  using value_type = std::pair<Key, Value>;
  using Entries = std::vector<value_type>;
  using iterator = typename Entries::iterator;
  using const_iterator = typename Entries::const_iterator;

  FlatMap() = default;
  FlatMap(std::initializer_list<value_type> entries) {
    for (const value_type& entry : entries) insert_or_assign(entry.first, entry.second);
  }

  [[nodiscard]] iterator begin() { return entries_.begin(); }
  [[nodiscard]] iterator end() { return entries_.end(); }
  [[nodiscard]] const_iterator begin() const { return entries_.begin(); }
  [[nodiscard]] const_iterator end() const { return entries_.end(); }
  [[nodiscard]] size_t size() const { return entries_.size(); }
  [[nodiscard]] bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  // Frees the room left by growth: bags kept for a whole document (a
  // catalogue of thousands of formats, each with a baseline copy) take only
  // what their entries need.
  void shrink_to_fit() { entries_.shrink_to_fit(); }

  [[nodiscard]] iterator lower_bound(const Key& key) {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const value_type& entry, const Key& k) { return entry.first < k; });
  }
  [[nodiscard]] const_iterator lower_bound(const Key& key) const {
    return const_cast<FlatMap*>(this)->lower_bound(key);
  }
  [[nodiscard]] iterator find(const Key& key) {
    iterator at = lower_bound(key);
    return at != entries_.end() && at->first == key ? at : entries_.end();
  }
  [[nodiscard]] const_iterator find(const Key& key) const { return const_cast<FlatMap*>(this)->find(key); }
  [[nodiscard]] size_t count(const Key& key) const { return find(key) != end() ? 1 : 0; }
  [[nodiscard]] bool contains(const Key& key) const { return find(key) != end(); }

  Value& at(const Key& key) {
    iterator at = find(key);
    if (at == end()) throw std::out_of_range("FlatMap::at: no such key");
    return at->second;
  }
  const Value& at(const Key& key) const { return const_cast<FlatMap*>(this)->at(key); }

  Value& operator[](const Key& key) { return try_emplace(key).first->second; }

  template <typename... Args>
  std::pair<iterator, bool> try_emplace(const Key& key, Args&&... args) {
    iterator at = lower_bound(key);
    if (at != entries_.end() && at->first == key) return {at, false};
    at = entries_.emplace(at, std::piecewise_construct, std::forward_as_tuple(key),
                          std::forward_as_tuple(std::forward<Args>(args)...));
    return {at, true};
  }
  template <typename V>
  std::pair<iterator, bool> emplace(const Key& key, V&& value) {
    return try_emplace(key, std::forward<V>(value));
  }
  std::pair<iterator, bool> insert(value_type entry) { return try_emplace(entry.first, std::move(entry.second)); }
  template <typename V>
  std::pair<iterator, bool> insert_or_assign(const Key& key, V&& value) {
    auto [at, fresh] = try_emplace(key);
    at->second = std::forward<V>(value);
    return {at, fresh};
  }

  size_t erase(const Key& key) {
    iterator at = find(key);
    if (at == end()) return 0;
    entries_.erase(at);
    return 1;
  }
  iterator erase(const_iterator at) { return entries_.erase(at); }

  bool operator==(const FlatMap& other) const { return entries_ == other.entries_; }

 private:
  Entries entries_;  // by key, ascending, keys unique
};

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_FLAT_MAP_H
