#pragma once
// Internal to the JSON codec: the layout of the nodes behind strings, arrays
// and objects, the block that holds a parsed document, and the key hash.
// Nothing outside src/foundation/Json*.cpp includes this.

#include <algorithm>
#include <atomic>
#include <bit>
#include <new>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "foundation/json/JsonValue.h"

namespace nb::detail {

// One block of memory for all nodes of one parsed document: nodes are carved
// from it one after the other and freed together when the last value of the
// document goes. Allocation is a pointer bump, which is most of why parsing is
// fast. The count is of outside references only; nodes inside the block do not
// count each other.
class JsonArena {
 public:
  // `sizeHint`: the expected size of the whole tree. A small document's tree
  // lives as long as any value of it is kept, so its first chunk is sized to
  // it rather than to a large document's.
  explicit JsonArena(std::size_t sizeHint) noexcept
      : nextChunkSize_(std::clamp<std::size_t>(sizeHint, 256, kChunkSize)) {}
  JsonArena(const JsonArena&) = delete;
  JsonArena& operator=(const JsonArena&) = delete;
  ~JsonArena();

  // `bytes` of 8-byte aligned storage. Throws std::bad_alloc.
  void* allocate(std::size_t bytes) {
    bytes = (bytes + 7) & ~std::size_t{7};
    if (static_cast<std::size_t>(end_ - cursor_) < bytes) {
      grow(bytes);
    }
    void* p = cursor_;
    cursor_ += bytes;
    return p;
  }

  void retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Frees the arena (and with it the whole document) at the last release.
  void release() noexcept;

 private:
  void grow(std::size_t bytes);

  struct Chunk {
    Chunk* next;
    std::size_t size;
  };
  std::atomic<std::uint64_t> refs_{0};
  Chunk* chunks_ = nullptr;
  char* cursor_ = nullptr;
  char* end_ = nullptr;
  static constexpr std::size_t kChunkSize = 64 * 1024;
  std::size_t nextChunkSize_;
};

enum class NodeStorage : std::uint8_t {
  Heap,    // its own reference count; freed at the last release
  Arena,   // lives in a parsed document's arena
  Static,  // lives for the whole program
};

struct JsonNode {
  JsonArena* arena = nullptr;  // Arena storage only
  std::atomic<std::uint32_t> refs{1};
  NodeStorage storage = NodeStorage::Heap;

  void retain() noexcept {
    if (storage == NodeStorage::Heap) {
      refs.fetch_add(1, std::memory_order_relaxed);
    } else if (storage == NodeStorage::Arena) {
      arena->retain();
    }
  }
  // `kind` tells which node this is, so that a heap node can free its content.
  void release(JsonKind kind) noexcept;

  // Access to JsonValue internals for the codec.
  static JsonValue wrap(JsonKind kind, JsonNode* node) noexcept {
    JsonValue v;
    v.kind_ = kind;
    v.data_.node = node;
    return v;
  }
  static JsonNode* of(const JsonValue& v) noexcept { return v.holdsNode() ? v.data_.node : nullptr; }
  // A value from its kind and bits (a node pointer for String, Array and
  // Object, the bit pattern of the number otherwise), counting no reference.
  static void placeParts(JsonValue* slot, JsonKind kind, std::uint64_t bits) noexcept {
    auto* v = new (slot) JsonValue();
    v->kind_ = kind;
    if (kind == JsonKind::Double) {
      v->data_.d = std::bit_cast<double>(bits);
    } else if (kind >= JsonKind::String) {
      v->data_.node = reinterpret_cast<JsonNode*>(static_cast<std::uintptr_t>(bits));
    } else {
      v->data_.u = bits;
    }
  }
  // Places a value in arena memory without touching reference counts: nodes
  // inside an arena never count each other.
  static void placeRaw(JsonValue* slot, const JsonValue& v) noexcept {
    std::memcpy(static_cast<void*>(slot), static_cast<const void*>(&v), sizeof(JsonValue));
  }
  static void placeMemberRaw(JsonMember* slot, const JsonValue& key, const JsonValue& value) noexcept {
    placeRaw(&slot->key_, key);
    placeRaw(&slot->value_, value);
  }
  static void placeMember(JsonMember* slot, JsonValue key, JsonValue value) noexcept {
    new (&slot->key_) JsonValue(std::move(key));
    new (&slot->value_) JsonValue(std::move(value));
  }
};

struct JsonStringNode : JsonNode {
  std::uint32_t length = 0;
  std::uint32_t hash = 0;  // jsonHash of the text; 0 in long parsed values, never keys
  // `length` bytes follow, then a NUL.
  char* chars() noexcept { return reinterpret_cast<char*>(this + 1); }
  const char* chars() const noexcept { return reinterpret_cast<const char*>(this + 1); }
  std::string_view view() const noexcept { return {chars(), length}; }
  static std::size_t bytesFor(std::size_t length) noexcept { return sizeof(JsonStringNode) + length + 1; }
};

struct JsonArrayNode : JsonNode {
  std::size_t count = 0;
  // `count` values follow.
  JsonValue* elements() noexcept { return reinterpret_cast<JsonValue*>(this + 1); }
  const JsonValue* elements() const noexcept { return reinterpret_cast<const JsonValue*>(this + 1); }
  static std::size_t bytesFor(std::size_t count) noexcept {
    return sizeof(JsonArrayNode) + count * sizeof(JsonValue);
  }
};

// An object: the hash table of `capacity` slots, each 0 (empty) or a member's
// index + 1, then the members in order. The table is sized about 1.33 slots a
// member and never has fewer slots than members; probing is linear.
struct JsonObjectNode : JsonNode {
  std::uint32_t count = 0;
  std::uint32_t capacity = 0;
  std::uint32_t* slots() noexcept { return reinterpret_cast<std::uint32_t*>(this + 1); }
  const std::uint32_t* slots() const noexcept { return reinterpret_cast<const std::uint32_t*>(this + 1); }
  JsonMember* members() noexcept {
    return reinterpret_cast<JsonMember*>(reinterpret_cast<char*>(this + 1) + tableBytes(capacity));
  }
  const JsonMember* members() const noexcept {
    return reinterpret_cast<const JsonMember*>(reinterpret_cast<const char*>(this + 1) +
                                               tableBytes(capacity));
  }
  static std::size_t tableBytes(std::size_t capacity) noexcept {
    return (capacity * sizeof(std::uint32_t) + 7) & ~std::size_t{7};
  }
  static std::size_t bytesFor(std::size_t count, std::size_t capacity) noexcept {
    return sizeof(JsonObjectNode) + tableBytes(capacity) + count * sizeof(JsonMember);
  }

  const JsonValue* find(std::string_view key, std::uint32_t hash) const noexcept;
  // Builds the table over members()[0, count). A member whose key repeats an
  // earlier one hands that one its value and is dropped (count shrinks); the
  // members are moved bitwise, so repeats are only allowed in arena nodes,
  // where nothing is counted or destroyed.
  void index() noexcept;
};

static_assert(sizeof(JsonNode) == 16 && sizeof(JsonStringNode) == 24 && sizeof(JsonArrayNode) == 24 &&
              sizeof(JsonObjectNode) == 24 && sizeof(JsonValue) == 16 && sizeof(JsonMember) == 32);

// Slots for an object of n members: the smallest table size at least n * 1.33.
std::uint32_t jsonObjectCapacity(std::size_t members) noexcept;

// The key hash: agrees with byte equality of the UTF-8 text. Texts are at
// most 4 GiB - 1 bytes (the readers refuse larger input).
inline std::uint32_t jsonHash(const char* p, std::size_t n) noexcept {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = 0x27D4EB2F165667C5ull ^ (n * kMul);
  while (n >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 32;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w ^ (std::uint64_t{n} << 56)) * kMul;
  }
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// Decodes the UTF-8 sequence at p (lead byte 0x80 or above, `avail` bytes
// readable): its length with the code point in `cp`; 0 when malformed
// (overlong, surrogate, above U+10FFFF, bad continuation); -1 when the input
// ends inside it.
inline int decodeUtf8(const char* p, std::size_t avail, std::uint32_t& cp) noexcept {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  const unsigned char lead = u[0];
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0Fu;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07u;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= avail) {
      return -1;
    }
    const unsigned char b = u[i];
    if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) {
      return 0;
    }
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return length;
}

const JsonStringNode* asStringNode(const JsonValue& v) noexcept;

// A heap string node holding `s` (the shared empty node for "").
JsonValue makeHeapString(std::string_view s);
// The shared empty string node.
JsonNode* emptyStringNode() noexcept;

}  // namespace nb::detail
