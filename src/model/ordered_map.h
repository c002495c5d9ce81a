// A string-to-string map that iterates in the order its keys were first
// stored, so that everything written from it comes out the same on every run.
#ifndef QUILLON_MODEL_ORDERED_MAP_H_
#define QUILLON_MODEL_ORDERED_MAP_H_

#include <list>
#include <string>
#include <unordered_map>
#include <utility>

namespace quillon {

class OrderedMap {
 public:
  using Entry = std::pair<const std::string, std::string>;
  using const_iterator = std::list<Entry>::const_iterator;

  OrderedMap() = default;
  OrderedMap(const OrderedMap& other) { *this = other; }
  OrderedMap& operator=(const OrderedMap& other) {
    if (this == &other) return *this;
    clear();
    for (const Entry& entry : other.entries_) Set(entry.first, entry.second);
    return *this;
  }
  OrderedMap(OrderedMap&&) = default;
  OrderedMap& operator=(OrderedMap&&) = default;

  // Stores `value` under `key`; an existing key keeps its place.
  void Set(const std::string& key, std::string value) {
    auto found = index_.find(key);
    if (found != index_.end()) {
      found->second->second = std::move(value);
      return;
    }
    entries_.emplace_back(key, std::move(value));
    index_.emplace(key, std::prev(entries_.end()));
  }

  // The value of `key`, or nullptr when the key is absent.
  const std::string* Find(const std::string& key) const {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &found->second->second;
  }

  // The value of `key` to change in place, or nullptr when it is absent.
  std::string* FindMutable(const std::string& key) {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &found->second->second;
  }

  bool Contains(const std::string& key) const { return index_.count(key) != 0; }

  // Removes `key`; returns whether it was there.
  bool Remove(const std::string& key) {
    auto found = index_.find(key);
    if (found == index_.end()) return false;
    entries_.erase(found->second);
    index_.erase(found);
    return true;
  }

  void clear() {
    entries_.clear();
    index_.clear();
  }
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  std::list<Entry> entries_;
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace quillon

#endif  // QUILLON_MODEL_ORDERED_MAP_H_
