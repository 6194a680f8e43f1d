#include <dravo/mcp/nutrition/tools/system_message.h>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace dravo::nutrition {

#if defined(_WIN32)

namespace {

std::string Utf8FromWide(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(std::size_t(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace

std::string SystemMessage(const std::error_code& error) {
  if (error.category() != std::system_category()) return error.message();
  wchar_t* buffer = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = FormatMessageW(flags, nullptr, DWORD(error.value()), 0,
                                reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0) return error.message();
  while (length > 0 &&
         (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' '))
    --length;
  std::string text = Utf8FromWide(buffer, int(length));
  LocalFree(buffer);
  return text;
}

#else

std::string SystemMessage(const std::error_code& error) {
  return error.message();
}

#endif

}  // namespace dravo::nutrition
