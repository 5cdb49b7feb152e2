#include "foundation/json/JsonValue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <new>

#include "foundation/json/Json.h"
#include "foundation/json/JsonNode.h"

namespace nb {
namespace detail {

JsonArena::~JsonArena() {
  for (Chunk* c = chunks_; c != nullptr;) {
    Chunk* next = c->next;
    std::free(c);
    c = next;
  }
}

void JsonArena::grow(std::size_t bytes) {
  // Chunks stay small enough for malloc to serve them from memory it keeps:
  // larger ones would be mapped and unmapped for every document, and the page
  // faults of fresh mappings cost more than the whole parse.
  std::size_t size = std::max(nextChunkSize_, bytes + sizeof(Chunk) + 16);
  nextChunkSize_ = kChunkSize;
  auto* c = static_cast<Chunk*>(std::malloc(size));
  if (c == nullptr) {
    throw std::bad_alloc();
  }
  c->next = chunks_;
  c->size = size;
  chunks_ = c;
  auto start = reinterpret_cast<std::uintptr_t>(c + 1);
  start = (start + 15) & ~std::uintptr_t{15};
  cursor_ = reinterpret_cast<char*>(start);
  end_ = reinterpret_cast<char*>(c) + size;
}

void JsonArena::release() noexcept {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete this;
  }
}

void JsonNode::release(JsonKind kind) noexcept {
  if (storage == NodeStorage::Arena) {
    arena->release();
    return;
  }
  if (storage == NodeStorage::Static || refs.fetch_sub(1, std::memory_order_acq_rel) != 1) {
    return;
  }
  if (kind == JsonKind::Array) {
    auto* a = static_cast<JsonArrayNode*>(this);
    std::destroy_n(a->elements(), a->count);
    a->~JsonArrayNode();
  } else if (kind == JsonKind::Object) {
    auto* o = static_cast<JsonObjectNode*>(this);
    std::destroy_n(o->members(), o->count);
    o->~JsonObjectNode();
  } else {
    static_cast<JsonStringNode*>(this)->~JsonStringNode();
  }
  ::operator delete(static_cast<void*>(this));
}

namespace {

// Table sizes for objects; a size a little above each count keeps probing short.
constexpr std::array<std::uint32_t, 40> kCapacities = {
    0,        3,         7,         13,        23,         41,         71,        127,
    191,      251,       383,       631,       1087,       1723,       2803,      4523,
    7351,     11959,     19447,     31231,     50683,      81919,      132607,    214519,
    346607,   561109,    907759,    1468927,   2376191,    3845119,    6221311,   10066421,
    16287743, 26354171,  42641881,  68996069,  111638519,  180634607,  292272623, 472907251};

struct StaticEmptyString {
  JsonStringNode node;
  char nul = '\0';
  StaticEmptyString() {
    node.storage = NodeStorage::Static;
    node.hash = jsonHash("", 0);
  }
};

}  // namespace

std::uint32_t jsonObjectCapacity(std::size_t members) noexcept {
  auto wanted = static_cast<std::uint64_t>(static_cast<double>(members) * 1.33);
  wanted = std::max<std::uint64_t>(wanted, members);
  auto it = std::lower_bound(kCapacities.begin(), kCapacities.end(), wanted);
  // Beyond the largest size: more slots than any document of under 4 GiB needs.
  return it == kCapacities.end() ? static_cast<std::uint32_t>(wanted) : *it;
}

const JsonValue* JsonObjectNode::find(std::string_view key, std::uint32_t hash) const noexcept {
  if (capacity == 0) {
    return nullptr;
  }
  const std::uint32_t* table = slots();
  const JsonMember* all = members();
  std::uint32_t i = hash % capacity;
  for (std::uint32_t probes = 0; probes < capacity; ++probes) {
    std::uint32_t slot = table[i];
    if (slot == 0) {
      return nullptr;
    }
    const JsonMember& m = all[slot - 1];
    const JsonStringNode* k = asStringNode(m.keyValue());
    if (k->hash == hash && k->view() == key) {
      return &m.value();
    }
    if (++i == capacity) {
      i = 0;
    }
  }
  return nullptr;
}

void JsonObjectNode::index() noexcept {
  if (capacity == 0) {
    return;
  }
  std::uint32_t* table = slots();
  std::fill_n(table, capacity, 0u);
  JsonMember* all = members();
  std::uint32_t kept = 0;
  for (std::uint32_t m = 0; m < count; ++m) {
    const JsonStringNode* k = asStringNode(all[m].keyValue());
    std::uint32_t i = k->hash % capacity;
    bool repeated = false;
    for (; table[i] != 0; i = (i + 1 == capacity) ? 0 : i + 1) {
      JsonMember& earlier = all[table[i] - 1];
      const JsonStringNode* ek = asStringNode(earlier.keyValue());
      if (ek->hash == k->hash && ek->view() == k->view()) {
        JsonNode::placeRaw(const_cast<JsonValue*>(&earlier.value()), all[m].value());
        repeated = true;
        break;
      }
    }
    if (repeated) {
      continue;
    }
    if (kept != m) {
      std::memcpy(static_cast<void*>(&all[kept]), static_cast<const void*>(&all[m]), sizeof(JsonMember));
    }
    table[i] = ++kept;
  }
  count = kept;
}

const JsonStringNode* asStringNode(const JsonValue& v) noexcept {
  return static_cast<const JsonStringNode*>(JsonNode::of(v));
}

JsonNode* emptyStringNode() noexcept {
  static StaticEmptyString empty;
  return &empty.node;
}

JsonValue makeHeapString(std::string_view s) {
  if (s.empty()) {
    return JsonNode::wrap(JsonKind::String, emptyStringNode());
  }
  if (s.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("JSON text of 4 GiB or more");
  }
  void* mem = ::operator new(JsonStringNode::bytesFor(s.size()));
  auto* node = new (mem) JsonStringNode();
  node->length = static_cast<std::uint32_t>(s.size());
  node->hash = jsonHash(s.data(), s.size());
  std::memcpy(node->chars(), s.data(), s.size());
  node->chars()[s.size()] = '\0';
  return JsonNode::wrap(JsonKind::String, node);
}

}  // namespace detail

using detail::JsonArrayNode;
using detail::JsonNode;
using detail::JsonObjectNode;

JsonValue::JsonValue(std::string_view s) : JsonValue(detail::makeHeapString(s)) {}

JsonValue::JsonValue(const JsonValue& other) noexcept : data_(other.data_), kind_(other.kind_) {
  if (holdsNode()) {
    data_.node->retain();
  }
}

JsonValue::JsonValue(JsonValue&& other) noexcept : data_(other.data_), kind_(other.kind_) {
  other.kind_ = JsonKind::Null;
  other.data_.u = 0;
}

JsonValue& JsonValue::operator=(const JsonValue& other) noexcept {
  if (this != &other) {
    JsonValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) {
    if (holdsNode()) {
      data_.node->release(kind_);
    }
    data_ = other.data_;
    kind_ = other.kind_;
    other.kind_ = JsonKind::Null;
    other.data_.u = 0;
  }
  return *this;
}

JsonValue::~JsonValue() {
  if (holdsNode()) {
    data_.node->release(kind_);
  }
}

const JsonValue& JsonValue::null() noexcept {
  static const JsonValue kNull;
  return kNull;
}

JsonValue JsonValue::object(std::initializer_list<std::pair<std::string_view, JsonValue>> members) {
  JsonObjectBuilder builder;
  for (const auto& [key, value] : members) {
    builder.set(key, value);
  }
  return builder.build();
}

JsonValue JsonValue::array(std::initializer_list<JsonValue> elements) {
  return array(std::vector<JsonValue>(elements));
}

JsonValue JsonValue::array(std::vector<JsonValue> elements) {
  JsonArrayBuilder builder;
  builder.reserve(elements.size());
  for (JsonValue& e : elements) {
    builder.push(std::move(e));
  }
  return builder.build();
}

double JsonValue::asDouble() const noexcept {
  switch (kind_) {
    case JsonKind::Int64: return static_cast<double>(data_.i);
    case JsonKind::UInt64: return static_cast<double>(data_.u);
    case JsonKind::Double: return data_.d;
    default: return 0.0;
  }
}

std::string_view JsonValue::asString() const noexcept {
  return isString() ? detail::asStringNode(*this)->view() : std::string_view();
}

std::size_t JsonValue::size() const noexcept {
  if (isArray()) {
    return static_cast<const JsonArrayNode*>(data_.node)->count;
  }
  if (isObject()) {
    return static_cast<const JsonObjectNode*>(data_.node)->count;
  }
  return 0;
}

std::span<const JsonValue> JsonValue::elements() const noexcept {
  if (!isArray()) {
    return {};
  }
  const auto* a = static_cast<const JsonArrayNode*>(data_.node);
  return {a->elements(), a->count};
}

std::span<const JsonMember> JsonValue::members() const noexcept {
  if (!isObject()) {
    return {};
  }
  const auto* o = static_cast<const JsonObjectNode*>(data_.node);
  return {o->members(), o->count};
}

const JsonValue& JsonValue::at(std::size_t index) const noexcept {
  auto all = elements();
  return index < all.size() ? all[index] : null();
}

const JsonValue* JsonValue::find(std::string_view key) const noexcept {
  if (!isObject()) {
    return nullptr;
  }
  return static_cast<const JsonObjectNode*>(data_.node)->find(key, detail::jsonHash(key.data(), key.size()));
}

const JsonValue& JsonValue::operator[](std::string_view key) const noexcept {
  const JsonValue* v = find(key);
  return v != nullptr ? *v : null();
}

bool operator==(const JsonValue& a, const JsonValue& b) noexcept {
  if (a.kind_ != b.kind_) {
    return false;
  }
  switch (a.kind_) {
    case JsonKind::Null: return true;
    case JsonKind::Bool:
    case JsonKind::Int64:
    case JsonKind::UInt64: return a.data_.u == b.data_.u;
    case JsonKind::Double:
      return a.data_.d == b.data_.d || (std::isnan(a.data_.d) && std::isnan(b.data_.d));
    case JsonKind::String: return a.asString() == b.asString();
    case JsonKind::Array: return std::ranges::equal(a.elements(), b.elements());
    case JsonKind::Object:
      if (a.size() != b.size()) {
        return false;
      }
      for (const JsonMember& m : a.members()) {
        const JsonValue* other = b.find(m.key());
        if (other == nullptr || !(*other == m.value())) {
          return false;
        }
      }
      return true;
  }
  return false;
}

// --- Builders ------------------------------------------------------------------

std::size_t JsonObjectBuilder::position(std::string_view key) const {
  constexpr std::size_t kScanLimit = 16;
  if (members_.size() <= kScanLimit) {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      if (members_[i].first.asString() == key) {
        return i;
      }
    }
    return members_.size();
  }
  if (index_.empty()) {
    for (std::size_t i = 0; i < members_.size(); ++i) {
      index_.emplace(members_[i].first.asString(), i);
    }
  }
  auto it = index_.find(key);
  return it != index_.end() ? it->second : members_.size();
}

JsonObjectBuilder& JsonObjectBuilder::set(std::string_view key, JsonValue value) & {
  const std::size_t at = position(key);
  if (at < members_.size()) {
    members_[at].second = std::move(value);
    return *this;
  }
  members_.emplace_back(JsonValue(key), std::move(value));
  if (!index_.empty()) {
    index_.emplace(members_.back().first.asString(), at);
  }
  return *this;
}

JsonObjectBuilder& JsonObjectBuilder::setNestedJson(std::string_view key, std::string_view jsonText) & {
  if (std::optional<JsonValue> parsed = objectFromJSONString(jsonText)) {
    set(key, std::move(*parsed));
  }
  return *this;
}

bool JsonObjectBuilder::contains(std::string_view key) const {
  return position(key) < members_.size();
}

JsonValue JsonObjectBuilder::build() {
  std::size_t n = members_.size();
  std::uint32_t capacity = detail::jsonObjectCapacity(n);
  void* mem = ::operator new(JsonObjectNode::bytesFor(n, capacity));
  auto* node = new (mem) JsonObjectNode();
  node->capacity = capacity;
  JsonMember* slots = node->members();
  for (std::size_t i = 0; i < n; ++i) {
    JsonNode::placeMember(&slots[i], std::move(members_[i].first), std::move(members_[i].second));
  }
  node->count = static_cast<std::uint32_t>(n);
  node->index();  // the keys are unique, so nothing is dropped
  members_.clear();
  index_.clear();
  return JsonNode::wrap(JsonKind::Object, node);
}

JsonArrayBuilder& JsonArrayBuilder::push(JsonValue value) & {
  elements_.push_back(std::move(value));
  return *this;
}

JsonValue JsonArrayBuilder::build() {
  std::size_t n = elements_.size();
  void* mem = ::operator new(JsonArrayNode::bytesFor(n));
  auto* node = new (mem) JsonArrayNode();
  std::uninitialized_move_n(elements_.begin(), n, node->elements());
  node->count = n;
  elements_.clear();
  return JsonNode::wrap(JsonKind::Array, node);
}

}  // namespace nb
