#include "transfer/ranges/DataLocator.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace nb {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// Whether a range ending at `last` touches one starting at `first` (no gap
// between them); guards the wrap at the largest position.
bool touches(std::uint64_t last, std::uint64_t first) { return last != kMax && last + 1 == first; }

// Leading blanks, an optional sign, then digits up to the first other
// character; no digits read as 0; clamped to the signed 64-bit range.
std::int64_t readSigned(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Accumulated as a magnitude up to 2^63 so the most negative value fits.
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  std::uint64_t magnitude = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    const auto digit = static_cast<std::uint64_t>(text[at] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!negative) return static_cast<std::int64_t>(magnitude);
  return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                            : -static_cast<std::int64_t>(magnitude);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

void DataLocator::LoadParisFromString(const std::string& text) {
  for (const std::string& piece : split(text, ',')) {
    const std::vector<std::string> marks = split(piece, '-');
    if (marks.size() < 2) continue;
    InsertPart(static_cast<std::uint64_t>(readSigned(marks[0])),
               static_cast<std::uint64_t>(readSigned(marks[1])));
  }
}

bool DataLocator::InsertPart(std::uint64_t first, std::uint64_t last) {
  if (first > last) return false;
  // The first range that ends at or after the byte before `first`: every
  // range before it lies wholly before the new one with a gap between.
  auto from = std::lower_bound(arrayData_.begin(), arrayData_.end(), first,
                               [](const DataPair& pair, std::uint64_t a) {
                                 return pair.ullLastMark < a && !touches(pair.ullLastMark, a);
                               });
  if (from != arrayData_.end() && from->ullFirstMark <= first && from->ullLastMark >= last) {
    return true;  // already held
  }
  auto to = from;
  while (to != arrayData_.end() &&
         (to->ullFirstMark <= last || touches(last, to->ullFirstMark))) {
    first = std::min(first, to->ullFirstMark);
    last = std::max(last, to->ullLastMark);
    ++to;
  }
  const auto at = arrayData_.erase(from, to);
  arrayData_.insert(at, DataPair(first, last));
  return true;
}

std::uint64_t DataLocator::Size() const {
  std::uint64_t total = 0;
  for (const DataPair& pair : arrayData_) {
    const std::uint64_t span = pair.ullLastMark - pair.ullFirstMark;
    if (span == kMax || total > kMax - span - 1) return kMax;
    total += span + 1;
  }
  return total;
}

std::string DataLocator::OutPut() const {
  std::string text;
  for (const DataPair& pair : arrayData_) {
    if (!text.empty()) text += ',';
    text += std::to_string(pair.ullFirstMark) + '-' + std::to_string(pair.ullLastMark);
  }
  return text;
}

void DataLocator::RemovePairs(std::uint64_t first, std::uint64_t last) {
  if (first > last) return;
  auto from = std::lower_bound(
      arrayData_.begin(), arrayData_.end(), first,
      [](const DataPair& pair, std::uint64_t a) { return pair.ullLastMark < a; });
  auto to = from;
  while (to != arrayData_.end() && to->ullFirstMark <= last) ++to;
  if (from == to) return;
  std::vector<DataPair> kept;
  if (from->ullFirstMark < first) kept.emplace_back(from->ullFirstMark, first - 1);
  const DataPair& tail = *(to - 1);
  if (tail.ullLastMark > last) kept.emplace_back(last + 1, tail.ullLastMark);
  const auto at = arrayData_.erase(from, to);
  arrayData_.insert(at, kept.begin(), kept.end());
}

void DataLocator::RemoveDataPairs(const std::vector<DataPair>& pairs) {
  for (const DataPair& pair : pairs) RemovePair(pair);
}

void DataLocator::RemoveDataLocatiors(const DataLocator& other) {
  if (&other == this) {
    Clear();
    return;
  }
  RemoveDataPairs(other.arrayData_);
}

std::uint64_t DataLocator::FindSame(const DataLocator& other, DataLocator& same) const {
  // Copies guard against `same` being one of the inputs.
  const std::vector<DataPair> mine = arrayData_;
  const std::vector<DataPair> theirs = other.arrayData_;
  std::size_t p = 0;
  for (const DataPair& q : theirs) {
    while (p < mine.size()) {
      const DataPair& range = mine[p];
      if (range.ullLastMark < q.ullFirstMark) {
        ++p;
        continue;
      }
      if (range.ullFirstMark > q.ullLastMark) break;
      same.InsertPart(std::max(range.ullFirstMark, q.ullFirstMark),
                      std::min(range.ullLastMark, q.ullLastMark));
      if (range.ullLastMark > q.ullLastMark) break;
      ++p;
    }
  }
  return same.Size();
}

}  // namespace nb
