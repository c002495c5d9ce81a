// A string-to-string map that iterates in the order its keys were first
// stored, so that everything written from it comes out the same on every run.
//
// Entries sit in a deque in the order they were stored (a removed entry is
// marked and skipped), so that a map of a few keys, as a parsed record is,
// costs one allocation per key and value and is searched by a short scan; a
// hash index of the keys is made only once the map grows past a few dozen
// keys.
#ifndef QUILLON_MODEL_ORDERED_MAP_H_
#define QUILLON_MODEL_ORDERED_MAP_H_

#include <cstddef>
#include <deque>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon {

class OrderedMap {
 public:
  using Entry = std::pair<const std::string, std::string>;

  // Iterates the entries that are not removed, in the order they were stored.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const Entry*;
    using reference = const Entry&;

    const_iterator() = default;
    reference operator*() const { return map_->entries_[at_]; }
    pointer operator->() const { return &map_->entries_[at_]; }
    const_iterator& operator++() {
      ++at_;
      Skip();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }
    bool operator!=(const const_iterator& other) const { return at_ != other.at_; }

   private:
    friend class OrderedMap;
    const_iterator(const OrderedMap* map, size_t at) : map_(map), at_(at) { Skip(); }
    void Skip() {
      while (at_ < map_->live_.size() && !map_->live_[at_]) ++at_;
    }
    const OrderedMap* map_ = nullptr;
    size_t at_ = 0;
  };

  OrderedMap() = default;
  OrderedMap(const OrderedMap& other) { *this = other; }
  OrderedMap& operator=(const OrderedMap& other) {
    if (this == &other) return *this;
    clear();
    // The other map's keys are distinct already: no search per key.
    for (const Entry& entry : other) {
      entries_.emplace_back(entry);
      live_.push_back(1);
    }
    count_ = other.count_;
    if (count_ > kScanLimit) BuildIndex();
    return *this;
  }
  OrderedMap(OrderedMap&& other) noexcept { *this = std::move(other); }
  OrderedMap& operator=(OrderedMap&& other) noexcept {
    if (this == &other) return *this;
    // The index points into the entries, which move with the deque.
    entries_ = std::move(other.entries_);
    live_ = std::move(other.live_);
    index_ = std::move(other.index_);
    count_ = other.count_;
    other.clear();
    return *this;
  }

  // Stores `value` under `key`; an existing key keeps its place.
  void Set(std::string_view key, std::string value) {
    if (std::string* found = FindMutable(key)) {
      *found = std::move(value);
      return;
    }
    entries_.emplace_back(std::string(key), std::move(value));
    live_.push_back(1);
    ++count_;
    const size_t at = entries_.size() - 1;
    if (index_) {
      index_->emplace(entries_[at].first, at);
    } else if (count_ > kScanLimit) {
      BuildIndex();
    }
  }

  // The value of `key`, or nullptr when the key is absent.
  const std::string* Find(std::string_view key) const {
    const size_t at = Locate(key);
    return at == kAbsent ? nullptr : &entries_[at].second;
  }

  // The value of `key` to change in place, or nullptr when it is absent.
  std::string* FindMutable(std::string_view key) {
    const size_t at = Locate(key);
    return at == kAbsent ? nullptr : &entries_[at].second;
  }

  bool Contains(std::string_view key) const { return Locate(key) != kAbsent; }

  // Removes `key`; returns whether it was there.
  bool Remove(std::string_view key) {
    const size_t at = Locate(key);
    if (at == kAbsent) return false;
    if (index_) index_->erase(std::string_view(entries_[at].first));
    live_[at] = 0;
    entries_[at].second = std::string();  // its memory goes now
    --count_;
    if (count_ == 0) clear();
    return true;
  }

  void clear() {
    entries_.clear();
    live_.clear();
    index_.reset();
    count_ = 0;
  }
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, live_.size()); }

 private:
  static constexpr size_t kAbsent = static_cast<size_t>(-1);
  // Up to this many keys a map is searched by a scan. A record of a shape
  // has about twenty keys; a scan of them (most comparisons end at the
  // length) is cheaper than building and freeing a hash index per record.
  static constexpr size_t kScanLimit = 48;

  size_t Locate(std::string_view key) const {
    if (index_) {
      auto found = index_->find(key);
      return found == index_->end() ? kAbsent : found->second;
    }
    for (size_t at = 0; at < entries_.size(); ++at) {
      if (live_[at] && entries_[at].first == key) return at;
    }
    return kAbsent;
  }
  void BuildIndex() {
    index_ = std::make_unique<std::unordered_map<std::string_view, size_t>>();
    index_->reserve(count_ * 2);
    for (size_t at = 0; at < entries_.size(); ++at) {
      if (live_[at]) index_->emplace(entries_[at].first, at);
    }
  }

  // Keys are never moved once stored (a deque keeps its elements in place),
  // so the index can refer to them.
  std::deque<Entry> entries_;
  std::vector<char> live_;
  std::unique_ptr<std::unordered_map<std::string_view, size_t>> index_;
  size_t count_ = 0;
};

}  // namespace quillon

#endif  // QUILLON_MODEL_ORDERED_MAP_H_
