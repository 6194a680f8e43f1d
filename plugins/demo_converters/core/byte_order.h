// Fixed-endian reads and writes of plain numbers, independent of the host.
#pragma once

#include <algorithm>
#include <bit>
#include <cstring>

namespace dravo::demo {

template <class T>
T ReadLittle(const char* bytes) {
  char copy[sizeof(T)];
  std::memcpy(copy, bytes, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) std::reverse(copy, copy + sizeof(T));
  T value;
  std::memcpy(&value, copy, sizeof(T));
  return value;
}

template <class T>
T ReadBig(const char* bytes) {
  char copy[sizeof(T)];
  std::memcpy(copy, bytes, sizeof(T));
  if constexpr (std::endian::native == std::endian::little) std::reverse(copy, copy + sizeof(T));
  T value;
  std::memcpy(&value, copy, sizeof(T));
  return value;
}

template <class T>
void WriteLittle(char* bytes, T value) {
  std::memcpy(bytes, &value, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
}

}  // namespace dravo::demo
