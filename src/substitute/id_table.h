// IdTable: a document's objects of a few kinds, stored by object id.
//
// An id is (kind << 24) | serial, and one document's objects of a kind take
// serials that mostly follow one another, so the table keeps, per kind, pages
// of slots indexed by serial. Finding an object is two array steps instead of
// a walk down a tree; objects never move once made (pointers to them stay good
// until they are erased); iteration goes in id order, as a std::map's would;
// and the whole table is freed page by page, not node by node.
//
// It offers the subset of std::map's interface the model uses:
//
//   IdTable<Paragraph> paragraphs;
//   paragraphs[id] = Paragraph{id, ...};
//   if (Paragraph* p = paragraphs.Find(id)) ...
//   for (auto& [id, paragraph] : paragraphs) ...
#ifndef GRIDWRIGHT_SUBSTITUTE_ID_TABLE_H
#define GRIDWRIGHT_SUBSTITUTE_ID_TABLE_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/fm_api.h"

namespace gw::substitute {

template <typename T>
class IdTable {
 public:
  using value_type = std::pair<const ObjectId, T>;

 private:
  static constexpr uint32_t kPageBits = 6;
  static constexpr uint32_t kPageSize = 1u << kPageBits;
  using Slot = std::optional<value_type>;
  struct Page {
    std::array<Slot, kPageSize> slots;
    uint32_t used = 0;
  };
  // The objects of one kind: pages [first, first + pages.size()) of serials.
  struct Lane {
    uint32_t kind = 0;
    uint32_t first = 0;
    std::vector<std::unique_ptr<Page>> pages;
  };

 public:
  template <bool kConst>
  class Iterator {
    using Table = std::conditional_t<kConst, const IdTable, IdTable>;

   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = IdTable::value_type;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<kConst, const value_type&, value_type&>;
    using pointer = std::conditional_t<kConst, const value_type*, value_type*>;

    Iterator() = default;
    reference operator*() const { return *Current(); }
    pointer operator->() const { return &*Current(); }
    Iterator& operator++() {
      ++slot_;
      Settle();
      return *this;
    }
    bool operator==(const Iterator& other) const {
      return lane_ == other.lane_ && page_ == other.page_ && slot_ == other.slot_;
    }
    bool operator!=(const Iterator& other) const { return !(*this == other); }
    operator Iterator<true>() const { return Iterator<true>(table_, lane_, page_, slot_); }  // NOLINT

   private:
    friend class IdTable;
    Iterator(Table* table, size_t lane, size_t page, size_t slot)
        : table_(table), lane_(lane), page_(page), slot_(slot) {}
    auto& Current() const { return table_->lanes_[lane_].pages[page_]->slots[slot_]; }
    // Moves on to the first filled slot at or after the current one (or the end).
    void Settle() {
      while (lane_ < table_->lanes_.size()) {
        const auto& pages = table_->lanes_[lane_].pages;
        while (page_ < pages.size()) {
          const Page* page = pages[page_].get();
          if (page != nullptr && page->used != 0) {
            while (slot_ < kPageSize && !page->slots[slot_].has_value()) ++slot_;
            if (slot_ < kPageSize) return;
          }
          ++page_;
          slot_ = 0;
        }
        ++lane_;
        page_ = 0;
        slot_ = 0;
      }
      page_ = 0;
      slot_ = 0;
    }

    Table* table_ = nullptr;
    size_t lane_ = 0, page_ = 0, slot_ = 0;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;

  IdTable() = default;
  IdTable(IdTable&&) noexcept = default;
  IdTable& operator=(IdTable&&) noexcept = default;
  // A deep copy: every page copied.
  IdTable(const IdTable& other) : size_(other.size_) {
    lanes_.reserve(other.lanes_.size());
    for (const Lane& lane : other.lanes_) {
      Lane& copy = lanes_.emplace_back(Lane{lane.kind, lane.first, {}});
      copy.pages.reserve(lane.pages.size());
      for (const std::unique_ptr<Page>& page : lane.pages) {
        copy.pages.push_back(page ? std::make_unique<Page>(*page) : nullptr);
      }
    }
  }
  IdTable& operator=(const IdTable& other) {
    if (this != &other) *this = IdTable(other);
    return *this;
  }

  [[nodiscard]] T* Find(ObjectId id) {
    Slot* slot = SlotOf(id);
    return slot != nullptr && slot->has_value() ? &(*slot)->second : nullptr;
  }
  [[nodiscard]] const T* Find(ObjectId id) const { return const_cast<IdTable*>(this)->Find(id); }
  [[nodiscard]] size_t count(ObjectId id) const { return Find(id) != nullptr ? 1 : 0; }
  [[nodiscard]] bool contains(ObjectId id) const { return Find(id) != nullptr; }
  [[nodiscard]] size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }

  T& at(ObjectId id) {
    if (T* found = Find(id)) return *found;
    throw std::out_of_range("IdTable::at: no such object");
  }
  const T& at(ObjectId id) const { return const_cast<IdTable*>(this)->at(id); }

  // The object of the id, made (default) when there is none.
  T& operator[](ObjectId id) { return Emplace(id, T{}).first->second; }

  // Makes the object unless the id has one already; as std::map::emplace.
  std::pair<iterator, bool> Emplace(ObjectId id, T value) {
    auto [lane, page, slot] = Place(id);
    Page& p = *lanes_[lane].pages[page];
    const bool fresh = !p.slots[slot].has_value();
    if (fresh) {
      p.slots[slot].emplace(id, std::move(value));
      ++p.used;
      ++size_;
    }
    return {iterator(this, lane, page, slot), fresh};
  }
  // As std::map's: the hint is not needed here.
  iterator emplace_hint(const_iterator /*hint*/, ObjectId id, T value) { return Emplace(id, std::move(value)).first; }

  size_t erase(ObjectId id) {
    Slot* slot = SlotOf(id);
    if (slot == nullptr || !slot->has_value()) return 0;
    slot->reset();
    Page& page = PageOf(id);
    if (--page.used == 0) FreePageOf(id);
    --size_;
    return 1;
  }
  void erase(const_iterator at) { erase(at->first); }

  iterator find(ObjectId id) {
    std::optional<Position> at = Locate(id);
    if (!at || !lanes_[at->lane].pages[at->page] || !lanes_[at->lane].pages[at->page]->slots[at->slot]) return end();
    return iterator(this, at->lane, at->page, at->slot);
  }
  const_iterator find(ObjectId id) const { return const_cast<IdTable*>(this)->find(id); }

  iterator begin() {
    iterator it(this, 0, 0, 0);
    it.Settle();
    return it;
  }
  iterator end() { return iterator(this, lanes_.size(), 0, 0); }
  const_iterator begin() const { return const_cast<IdTable*>(this)->begin(); }
  const_iterator end() const { return const_cast<IdTable*>(this)->end(); }

 private:
  struct Position {
    size_t lane, page, slot;
  };
  static uint32_t KindOf(ObjectId id) { return id >> 24; }
  static uint32_t PageNumber(ObjectId id) { return (id & 0x00FFFFFFu) >> kPageBits; }
  static size_t SlotNumber(ObjectId id) { return id & (kPageSize - 1); }

  // Where the id's slot is, if its lane holds the page number (the page itself may be absent).
  std::optional<Position> Locate(ObjectId id) const {
    const uint32_t kind = KindOf(id);
    for (size_t lane = 0; lane < lanes_.size(); ++lane) {
      if (lanes_[lane].kind != kind) continue;
      const uint32_t page = PageNumber(id);
      if (page < lanes_[lane].first || page - lanes_[lane].first >= lanes_[lane].pages.size()) return std::nullopt;
      return Position{lane, page - lanes_[lane].first, SlotNumber(id)};
    }
    return std::nullopt;
  }
  Slot* SlotOf(ObjectId id) {
    std::optional<Position> at = Locate(id);
    if (!at) return nullptr;
    Page* page = lanes_[at->lane].pages[at->page].get();
    return page == nullptr ? nullptr : &page->slots[at->slot];
  }
  Page& PageOf(ObjectId id) {
    Position at = *Locate(id);
    return *lanes_[at.lane].pages[at.page];
  }
  void FreePageOf(ObjectId id) {
    Position at = *Locate(id);
    lanes_[at.lane].pages[at.page].reset();
  }
  // The id's slot, making its lane and page as needed.
  Position Place(ObjectId id) {
    const uint32_t kind = KindOf(id);
    const uint32_t number = PageNumber(id);
    size_t lane = 0;
    while (lane < lanes_.size() && lanes_[lane].kind < kind) ++lane;
    if (lane == lanes_.size() || lanes_[lane].kind != kind) {
      lanes_.insert(lanes_.begin() + static_cast<std::ptrdiff_t>(lane), Lane{kind, number, {}});
    }
    Lane& l = lanes_[lane];
    if (l.pages.empty()) l.first = number;
    if (number < l.first) {
      // A serial below the first page's (serials wrapped): grow at the front.
      std::vector<std::unique_ptr<Page>> grown(l.first - number + l.pages.size());
      std::move(l.pages.begin(), l.pages.end(), grown.begin() + (l.first - number));
      l.pages = std::move(grown);
      l.first = number;
    }
    const size_t page = number - l.first;
    if (page >= l.pages.size()) l.pages.resize(page + 1);
    if (!l.pages[page]) l.pages[page] = std::make_unique<Page>();
    return Position{lane, page, SlotNumber(id)};
  }

  std::vector<Lane> lanes_;  // by kind, ascending
  size_t size_ = 0;
};

}  // namespace gw::substitute

#endif  // GRIDWRIGHT_SUBSTITUTE_ID_TABLE_H
