#pragma once
// A set of byte positions of one file, kept as a sorted list of disjoint
// inclusive ranges that never touch (a range never starts right after the
// previous one ends). Its text form, "a-b,c-d" (empty for the empty set), is
// what a download keeps in its range index and what LAN peers tell each
// other about a partial copy.
//
// Thread-safety: none; the owner guards it.

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/ranges/DataPair.h"

namespace nb {

class DataLocator {
 public:
  // Adds every "first-last" piece of `text` to the set (the set is not
  // cleared first). Pieces without a "-" are skipped; each mark is read as a
  // signed decimal clamped to 64 bits and then taken as unsigned, so "-1"
  // reads as the largest position.
  void LoadParisFromString(const std::string& text);
  // False and no change when first > last; else adds the range, merging it
  // with every range it overlaps or touches.
  bool InsertPart(std::uint64_t first, std::uint64_t last);
  // Bytes held. Saturates at 2^64-1 (only the full range holds 2^64).
  std::uint64_t Size() const;
  std::string OutPut() const;
  void Clear() { arrayData_.clear(); }

  // Removes every byte from first to last inclusive; no change when
  // first > last.
  void RemovePairs(std::uint64_t first, std::uint64_t last);
  void RemovePair(const DataPair& pair) { RemovePairs(pair.ullFirstMark, pair.ullLastMark); }
  void RemoveDataPairs(const std::vector<DataPair>& pairs);
  // Set difference: removes every byte `other` holds.
  void RemoveDataLocatiors(const DataLocator& other);

  // Adds every byte held by both this set and `other` to `same` (which keeps
  // what it held) and answers same.Size().
  std::uint64_t FindSame(const DataLocator& other, DataLocator& same) const;

  const std::vector<DataPair>& arrayData() const { return arrayData_; }
  bool empty() const { return arrayData_.empty(); }

 private:
  std::vector<DataPair> arrayData_;  // sorted by ullFirstMark, disjoint, not touching
};

}  // namespace nb
