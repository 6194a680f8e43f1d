// JSON values in memory: what each kind holds, members and their index,
// copies, comparison. Reading text is json_reader.cpp, writing json_writer.cpp.
#include "json_storage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <utility>

namespace Qarn::mcp {

namespace {

constexpr std::size_t kScannedMembers = 8;
constexpr std::size_t kFirstMembers = 5;   // a typical record at once, not 1, 2, 4, 8
constexpr std::size_t kFirstElements = 2;  // short lists are the common case

std::uint64_t AddressWord(const void* address) noexcept {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(address));
}

// Elements and Members sit in cached blocks too.
template <class T, class... Args>
T* NewBlock(Args&&... args) {
  void* block = AllocateBlock(sizeof(T));
  try {
    return new (block) T(std::forward<Args>(args)...);
  } catch (...) {
    FreeBlock(block, sizeof(T));
    throw;
  }
}

template <class T>
void DeleteBlock(T* items) noexcept {
  if (!items) return;
  items->~T();
  FreeBlock(items, sizeof(T));
}

const VMCPJsonValue& NullValue() noexcept {
  static const VMCPJsonValue value{};
  return value;
}

const char* KindName(VMCPJsonValue::Kind kind) {
  static const char* const names[] = {"null", "boolean", "number", "string", "array", "object"};
  return names[kind];
}

std::size_t Home(std::string_view key, std::size_t slots) noexcept {
  return std::hash<std::string_view>{}(key) & (slots - 1);
}

std::optional<std::size_t> Find(const Members* members, std::string_view key) noexcept {
  if (!members) return std::nullopt;
  const auto& list = members->list;
  const auto& slots = members->slots;
  if (slots.empty()) {
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].key() == key) return i;
    return std::nullopt;
  }
  for (std::size_t s = Home(key, slots.size());; s = (s + 1) & (slots.size() - 1)) {
    if (slots[s] == 0) return std::nullopt;
    if (list[slots[s] - 1].key() == key) return slots[s] - 1;
  }
}

void Place(Members& members, std::size_t position) {
  auto& slots = members.slots;
  std::size_t s = Home(members.list[position].key(), slots.size());
  while (slots[s] != 0) s = (s + 1) & (slots.size() - 1);
  slots[s] = std::uint32_t(position + 1);
}

void Reindex(Members& members) {
  if (members.list.size() <= kScannedMembers) return members.slots.clear();
  members.slots.assign(std::bit_ceil(4 * members.list.size()), 0);
  for (std::size_t i = 0; i < members.list.size(); ++i) Place(members, i);
}

VMCPJsonValue& AddMember(Members& members, std::string_view key) {
  if (members.list.empty()) members.list.reserve(kFirstMembers);
  if (members.list.size() >= std::numeric_limits<std::uint32_t>::max())
    throw std::length_error("JSON object too large");
  auto& member = members.list.emplace_back(key);
  const std::size_t count = members.list.size();
  if (count > kScannedMembers) {
    if (members.slots.size() < 2 * count)
      Reindex(members);
    else
      Place(members, count - 1);
  }
  return member.value;
}

}  // namespace

Elements& JsonStorage::ElementsFor(VMCPJsonValue& array) {
  if (array.word_ == 0) array.word_ = AddressWord(NewBlock<Elements>());
  return *Address<Elements>(array);
}

Members& JsonStorage::MembersFor(VMCPJsonValue& object) {
  if (object.word_ == 0) object.word_ = AddressWord(NewBlock<Members>());
  return *Address<Members>(object);
}

VMCPJsonValue::VMCPJsonValue(bool value) noexcept : kind(Boolean), word_(value) {}
VMCPJsonValue::VMCPJsonValue(int value) noexcept : VMCPJsonValue(std::int64_t(value)) {}
VMCPJsonValue::VMCPJsonValue(std::int64_t value) noexcept
    : kind(Number), detail_(1), word_(std::bit_cast<std::uint64_t>(value)) {}
VMCPJsonValue::VMCPJsonValue(std::uint64_t value) noexcept
    : VMCPJsonValue(value <= std::uint64_t(std::numeric_limits<std::int64_t>::max())
                        ? VMCPJsonValue(std::int64_t(value))
                        : VMCPJsonValue(double(value))) {}
VMCPJsonValue::VMCPJsonValue(double value) noexcept
    : kind(Number), word_(std::bit_cast<std::uint64_t>(value)) {}
VMCPJsonValue::VMCPJsonValue(const char* value)
    : VMCPJsonValue(value ? std::string_view(value) : std::string_view()) {}
VMCPJsonValue::VMCPJsonValue(const std::string& value) : VMCPJsonValue(std::string_view(value)) {}

VMCPJsonValue::VMCPJsonValue(std::string_view value) : kind(String) {
  if (value.size() >= JsonStorage::kInlineText) throw std::length_error("JSON string too long");
  detail_ = std::uint32_t(value.size());
  if (value.empty()) return;
  if (value.size() <= JsonStorage::kInlineBytes) {
    detail_ |= JsonStorage::kInlineText;
    std::memcpy(&word_, value.data(), value.size());
    return;
  }
  void* bytes = AllocateBlock(value.size());
  std::memcpy(bytes, value.data(), value.size());
  word_ = AddressWord(bytes);
}

VMCPJsonValue::VMCPJsonValue(const VMCPJsonValue& other) : kind(other.kind) {
  switch (kind) {
    case String:
      if (other.detail_ & JsonStorage::kInlineText) {
        detail_ = other.detail_;
        word_ = other.word_;
      } else {
        *this = VMCPJsonValue(JsonStorage::Text(other));
      }
      break;
    case Array:
      if (const auto* elements = JsonStorage::ElementsOf(other))
        word_ = AddressWord(NewBlock<Elements>(*elements));
      break;
    case Object:
      if (const auto* members = JsonStorage::MembersOf(other))
        word_ = AddressWord(NewBlock<Members>(*members));
      break;
    default:
      detail_ = other.detail_;
      word_ = other.word_;
      break;
  }
}

VMCPJsonValue::VMCPJsonValue(VMCPJsonValue&& other) noexcept
    : kind(other.kind), detail_(other.detail_), word_(other.word_) {
  other.kind = Null;
  other.detail_ = 0;
  other.word_ = 0;
}

VMCPJsonValue& VMCPJsonValue::operator=(const VMCPJsonValue& other) {
  if (this != &other) *this = VMCPJsonValue(other);
  return *this;
}

VMCPJsonValue& VMCPJsonValue::operator=(VMCPJsonValue&& other) noexcept {
  if (this == &other) return *this;
  VMCPJsonValue taken(std::move(other));  // other may live inside this value
  std::swap(kind, taken.kind);
  std::swap(detail_, taken.detail_);
  std::swap(word_, taken.word_);
  return *this;
}

VMCPJsonValue::~VMCPJsonValue() {
  switch (kind) {
    case String:
      if (!(detail_ & JsonStorage::kInlineText))
        FreeBlock(JsonStorage::Address<char>(*this), detail_);
      break;
    case Array: DeleteBlock(JsonStorage::Address<Elements>(*this)); break;
    case Object: DeleteBlock(JsonStorage::Address<Members>(*this)); break;
    default: break;
  }
}

std::string_view VMCPJsonValue::Member::key() const noexcept {
  return JsonStorage::Text(name_);
}

VMCPJsonValue VMCPJsonValue::MakeObject() {
  VMCPJsonValue value;
  value.kind = Object;
  return value;
}

VMCPJsonValue VMCPJsonValue::MakeArray() {
  VMCPJsonValue value;
  value.kind = Array;
  return value;
}

bool VMCPJsonValue::isInteger() const noexcept {
  return kind == Number && JsonStorage::Integral(*this);
}

VMCPJsonValue& VMCPJsonValue::operator[](std::string_view key) {
  if (kind == Null) *this = MakeObject();
  if (kind != Object)
    throw std::logic_error(std::string("VMCPJsonValue: a ") + KindName(kind) +
                           " has no members; only null and objects take operator[]");
  Members& members = JsonStorage::MembersFor(*this);
  if (auto found = Find(&members, key)) return members.list[*found].value;
  return AddMember(members, key);
}

const VMCPJsonValue& VMCPJsonValue::operator[](std::string_view key) const noexcept {
  const auto* members = JsonStorage::MembersOf(*this);
  if (auto found = Find(members, key)) return members->list[*found].value;
  return NullValue();
}

bool VMCPJsonValue::has(std::string_view key) const noexcept {
  return Find(JsonStorage::MembersOf(*this), key).has_value();
}

bool VMCPJsonValue::erase(std::string_view key) {
  auto* members = JsonStorage::Address<Members>(*this);
  auto found = Find(JsonStorage::MembersOf(*this), key);
  if (!found) return false;
  members->list.erase(members->list.begin() + std::ptrdiff_t(*found));
  Reindex(*members);
  return true;
}

std::string VMCPJsonValue::asString(const std::string& fallback) const {
  return kind == String ? std::string(JsonStorage::Text(*this)) : fallback;
}

bool VMCPJsonValue::asBool(bool fallback) const {
  return kind == Boolean ? JsonStorage::Boolean(*this) : fallback;
}

std::int64_t VMCPJsonValue::asInt(std::int64_t fallback) const {
  if (kind != Number) return fallback;
  return isInteger() ? JsonStorage::Integer(*this) : std::int64_t(JsonStorage::Real(*this));
}

double VMCPJsonValue::asDouble(double fallback) const {
  if (kind != Number) return fallback;
  return isInteger() ? double(JsonStorage::Integer(*this)) : JsonStorage::Real(*this);
}

std::span<const VMCPJsonValue> VMCPJsonValue::asArray() const noexcept {
  if (const auto* elements = JsonStorage::ElementsOf(*this)) return *elements;
  return {};
}

std::span<const VMCPJsonValue::Member> VMCPJsonValue::members() const noexcept {
  if (const auto* members = JsonStorage::MembersOf(*this)) return members->list;
  return {};
}

std::size_t VMCPJsonValue::size() const noexcept {
  return kind == Array ? asArray().size() : members().size();
}

void VMCPJsonValue::push_back(const VMCPJsonValue& value) {
  push_back(VMCPJsonValue(value));
}

void VMCPJsonValue::push_back(VMCPJsonValue&& value) {
  if (kind == Null) *this = MakeArray();
  if (kind != Array)
    throw std::logic_error(std::string("VMCPJsonValue: cannot append to a ") + KindName(kind) +
                           "; only null and arrays take push_back");
  Elements& elements = JsonStorage::ElementsFor(*this);
  if (elements.empty()) elements.reserve(kFirstElements);
  elements.push_back(std::move(value));
}

bool operator==(const VMCPJsonValue& a, const VMCPJsonValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case VMCPJsonValue::Null: return true;
    case VMCPJsonValue::Boolean: return JsonStorage::Boolean(a) == JsonStorage::Boolean(b);
    case VMCPJsonValue::Number:
      return a.isInteger() && b.isInteger() ? a.asInt() == b.asInt() : a.asDouble() == b.asDouble();
    case VMCPJsonValue::String: return JsonStorage::Text(a) == JsonStorage::Text(b);
    case VMCPJsonValue::Array: return std::ranges::equal(a.asArray(), b.asArray());
    case VMCPJsonValue::Object:
      if (a.size() != b.size()) return false;
      for (const auto& member : a.members())
        if (!b.has(member.key()) || !(member.value == b[member.key()])) return false;
      return true;
  }
  return false;
}

}  // namespace Qarn::mcp
