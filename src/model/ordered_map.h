// A string-to-string map that iterates in the order its keys were first
// stored, so that everything written from it comes out the same on every run.
//
// Entries sit in blocks in the order they were stored (a removed entry is
// marked and skipped), so that a map of a few keys, as many a parsed record is,
// is searched by a short scan; once the map grows past sixteen keys it
// gets a hash index of its keys: one flat table of hashes and positions,
// without an allocation per key. Reset empties a map and keeps its storage,
// so that one map parsed into again and again (a record after another)
// costs no allocation once its strings are large enough.
#ifndef QUILLON_MODEL_ORDERED_MAP_H_
#define QUILLON_MODEL_ORDERED_MAP_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

class OrderedMap {
 public:
  using Entry = std::pair<std::string, std::string>;

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
      key_bits_ |= KeyBit(entry.first);
    }
    used_ = entries_.size();
    count_ = other.count_;
    if (count_ > kScanLimit) BuildIndex();
    return *this;
  }
  OrderedMap(OrderedMap&& other) noexcept { *this = std::move(other); }
  OrderedMap& operator=(OrderedMap&& other) noexcept {
    if (this == &other) return *this;
    entries_ = std::move(other.entries_);
    live_ = std::move(other.live_);
    index_ = std::move(other.index_);
    indexed_ = other.indexed_;
    key_bits_ = other.key_bits_;
    used_ = other.used_;
    count_ = other.count_;
    other.clear();
    return *this;
  }

  // Stores `value` under `key`; an existing key keeps its place.
  void Set(std::string_view key, std::string value) {
    uint64_t hash = 0;
    const size_t at = LocateToStore(key, &hash);
    if (at != kAbsent) {
      entries_[at].second = std::move(value);
      return;
    }
    NewEntry(key).second = std::move(value);
    Added(hash);
  }

  // Stores `key` with an empty value unless it is there already; true when
  // it was added (the map used as a set).
  bool Add(std::string_view key) {
    uint64_t hash = 0;
    if (LocateToStore(key, &hash) != kAbsent) return false;
    NewEntry(key).second.clear();
    Added(hash);
    return true;
  }

  // As Set, copying `value` into the storage the entry already has (after
  // Reset no allocation for a value that fits it).
  void SetText(std::string_view key, std::string_view value) {
    uint64_t hash = 0;
    const size_t at = LocateToStore(key, &hash);
    if (at != kAbsent) {
      entries_[at].second.assign(value.data(), value.size());
      return;
    }
    NewEntry(key).second.assign(value.data(), value.size());
    Added(hash);
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

  // Where `key`'s entry is (kept until the map is emptied), or kNoPosition;
  // ValueAt gives its value. Positions are below positions().
  static constexpr size_t kNoPosition = static_cast<size_t>(-1);
  size_t PositionOf(std::string_view key) const { return Locate(key); }
  const std::string& ValueAt(size_t position) const { return entries_[position].second; }
  const std::string& KeyAt(size_t position) const { return entries_[position].first; }
  // Whether the entry at `position` was not removed since.
  bool LiveAt(size_t position) const { return live_[position] != 0; }
  size_t positions() const { return used_; }
  // Frees the value at `position`, which stays in the map, empty. Another
  // thread may meanwhile read the map, other values included.
  void ReleaseValueAt(size_t position) { std::string().swap(entries_[position].second); }

  // Removes `key`; returns whether it was there.
  bool Remove(std::string_view key) {
    const size_t at = Locate(key);
    if (at == kAbsent) return false;
    // The index keeps the position; a search skips it as removed.
    live_[at] = 0;
    entries_[at].second = std::string();  // its memory goes now
    --count_;
    if (count_ == 0) clear();
    return true;
  }

  // Empties the map and frees its memory.
  void clear() {
    entries_.clear();
    live_.clear();
    std::vector<uint64_t>().swap(index_);
    indexed_ = 0;
    key_bits_ = 0;
    used_ = 0;
    count_ = 0;
  }
  // Empties the map and keeps its storage for the entries stored next.
  void Reset() {
    live_.clear();
    index_.clear();
    indexed_ = 0;
    key_bits_ = 0;
    used_ = 0;
    count_ = 0;
  }
  bool empty() const { return count_ == 0; }
  size_t size() const { return count_; }
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, live_.size()); }

 private:
  static constexpr size_t kAbsent = kNoPosition;
  // Up to this many keys a map is searched by a scan. Past it the scans of
  // a record parsed into the map (each new key looked for first) and of the
  // lookups that follow cost more than building an index for the record.
  static constexpr size_t kScanLimit = 16;

  // A 32-bit hash of the key: its bytes taken eight at a time, each word
  // mixed in by a multiplication (keys are short; this is a few
  // instructions where a general byte hash is a call and a loop).
  static uint64_t Hash(std::string_view key) {
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ key.size();
    const char* at = key.data();
    size_t left = key.size();
    while (left >= 8) {
      uint64_t word;
      std::memcpy(&word, at, 8);
      hash = (hash ^ word) * 0xff51afd7ed558ccdull;
      hash ^= hash >> 32;
      at += 8;
      left -= 8;
    }
    // The last bytes: a key of eight or more reads its last word again and
    // keeps what was not taken yet, a shorter one is read byte by byte (a
    // copy of a variable length is a library call).
    uint64_t tail = 0;
    if (left > 0 && key.size() >= 8) {
      std::memcpy(&tail, key.data() + key.size() - 8, 8);
      tail >>= (8 - left) * 8;
    } else {
      for (size_t i = 0; i < left; ++i) {
        tail |= uint64_t{static_cast<unsigned char>(at[i])} << (8 * i);
      }
    }
    hash = (hash ^ tail) * 0xc4ceb9fe1a85ec53ull;
    hash ^= hash >> 29;
    return hash & 0xffffffffu;
  }

  size_t LocateHashed(std::string_view key, uint64_t hash) const {
    const size_t mask = index_.size() - 1;
    for (size_t slot = static_cast<size_t>(hash) & mask;; slot = (slot + 1) & mask) {
      const uint64_t item = index_[slot];
      if (item == 0) return kAbsent;
      if ((item >> 32) != hash) continue;
      const size_t at = static_cast<size_t>(item & 0xffffffffu) - 1;
      if (live_[at] && entries_[at].first == key) return at;
    }
  }

  size_t Locate(std::string_view key) const {
    if (!index_.empty()) return LocateHashed(key, Hash(key));
    // No key stored has the key's length and last character: it is absent
    // without a scan (most keys that a parsed record stores are new).
    if ((key_bits_ & KeyBit(key)) == 0) return kAbsent;
    for (size_t at = 0; at < used_; ++at) {
      if (live_[at] && entries_[at].first == key) return at;
    }
    return kAbsent;
  }

  // One of 64 bits by the key's length and last character.
  static uint64_t KeyBit(std::string_view key) {
    const unsigned last = key.empty() ? 0u : static_cast<unsigned char>(key.back());
    return uint64_t{1} << ((key.size() * 7 + last) & 63);
  }

  // The next free entry, holding `key`; storage left by Reset is used again.
  Entry& NewEntry(std::string_view key) {
    if (used_ == entries_.size()) entries_.emplace_back();
    Entry& entry = entries_[used_++];
    entry.first.assign(key.data(), key.size());
    live_.push_back(1);
    key_bits_ |= KeyBit(key);
    return entry;
  }
  // Where `key` is, or kAbsent; while the map is indexed, `*hash` gets the
  // key's hash, reckoned once for the search and for Added.
  size_t LocateToStore(std::string_view key, uint64_t* hash) const {
    if (index_.empty()) return Locate(key);
    *hash = Hash(key);
    return LocateHashed(key, *hash);
  }
  // Indexes the entry NewEntry gave; `hash` is what LocateToStore gave it.
  void Added(uint64_t hash) {
    ++count_;
    if (!index_.empty()) {
      // At most half the slots are filled, removed entries counted.
      if ((indexed_ + 1) * 2 > index_.size()) {
        BuildIndex();
      } else {
        InsertHashed(used_ - 1, hash);
      }
    } else if (count_ > kScanLimit) {
      BuildIndex();
    }
  }
  void Insert(size_t at) { InsertHashed(at, Hash(entries_[at].first)); }
  void InsertHashed(size_t at, uint64_t hash) {
    const size_t mask = index_.size() - 1;
    size_t slot = static_cast<size_t>(hash) & mask;
    while (index_[slot] != 0) slot = (slot + 1) & mask;
    index_[slot] = (hash << 32) | static_cast<uint64_t>(at + 1);
    ++indexed_;
  }
  // Makes the index anew from the entries that are not removed, a quarter
  // full.
  void BuildIndex() {
    size_t slots = 64;
    while (slots < count_ * 4) slots *= 2;
    index_.assign(slots, 0);
    indexed_ = 0;
    for (size_t at = 0; at < used_; ++at) {
      if (live_[at]) Insert(at);
    }
  }

  // The entries, in blocks of a fixed size that never move once made, so
  // that a value found stays where it is while others are added. Finding an
  // entry by its position is a shift and a mask (a deque's blocks cost a
  // division and more loads on every access of a scan).
  class Entries {
   public:
    Entry& operator[](size_t at) { return blocks_[at >> kBlockBits][at & kBlockMask]; }
    const Entry& operator[](size_t at) const {
      return blocks_[at >> kBlockBits][at & kBlockMask];
    }
    size_t size() const { return size_; }
    Entry& emplace_back() {
      if ((size_ >> kBlockBits) == blocks_.size()) {
        blocks_.push_back(std::make_unique<Entry[]>(size_t{1} << kBlockBits));
      }
      return (*this)[size_++];
    }
    Entry& emplace_back(const Entry& entry) { return emplace_back() = entry; }
    void clear() {
      blocks_.clear();
      size_ = 0;
    }

   private:
    static constexpr size_t kBlockBits = 4;
    static constexpr size_t kBlockMask = (size_t{1} << kBlockBits) - 1;
    std::vector<std::unique_ptr<Entry[]>> blocks_;
    size_t size_ = 0;
  };

  // The first used_ entries are in use; the rest are storage kept by Reset.
  Entries entries_;
  std::vector<char> live_;  // one per entry in use
  // Empty until the map has grown past kScanLimit. A slot holds the key's
  // hash in its high half and the entry's position + 1 in its low half; 0
  // is an empty slot.
  std::vector<uint64_t> index_;
  size_t indexed_ = 0;  // filled slots of the index
  uint64_t key_bits_ = 0;  // KeyBit of every key stored since the map was emptied
  size_t used_ = 0;
  size_t count_ = 0;
};

}  // namespace quillon

#endif  // QUILLON_MODEL_ORDERED_MAP_H_
