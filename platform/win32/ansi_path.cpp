#include "platform/win32/ansi_path.h"

#include <windows.h>

#include <cstddef>
#include <cwchar>
#include <optional>

namespace vcboot {
namespace {

// Paths longer than the ANSI calls take reach the wide calls only behind
// these prefixes, which the result must then lose again.
constexpr wchar_t kLocalPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";

bool begins_with(const WidePath& path, const wchar_t* prefix) {
  const std::size_t length = std::wcslen(prefix);
  return path.size() >= length &&
         std::wmemcmp(path.data(), prefix, length) == 0;
}

// `path` with its first `drop` characters replaced by `prefix`.
WidePath replace_start(const WidePath& path, std::size_t drop,
                       const wchar_t* prefix) {
  WidePath result(prefix, prefix + std::wcslen(prefix));
  result.insert(result.end(), path.begin() + static_cast<std::ptrdiff_t>(drop),
                path.end());
  return result;
}

// `text` in the ANSI code page, or nothing when a character has no exact
// counterpart there: no best-fit letter, no default character.
std::optional<std::string> exact_ansi(const WidePath& text) {
  if (text.empty()) return std::string();
  // Where the ANSI code page is UTF-8, every valid text converts, and the call
  // refuses both the best-fit flag and the default-character report.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* const report = utf8 ? nullptr : &used_default;
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length,
                                         nullptr, 0, nullptr, report);
  if (size <= 0 || used_default) return std::nullopt;
  std::string result(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_ACP, flags, text.data(), length, &result[0],
                            size, nullptr, report) != size ||
      used_default) {
    return std::nullopt;
  }
  return result;
}

std::optional<std::string> fitting_ansi(const WidePath& path) {
  std::optional<std::string> ansi = exact_ansi(path);
  if (!ansi || ansi->size() >= kAnsiPathLimit) return std::nullopt;
  return ansi;
}

// The form in which the wide calls take `path` whatever its length.
WidePath without_length_limit(const WidePath& path) {
  if (path.size() < kAnsiPathLimit || begins_with(path, kLocalPrefix)) {
    return path;
  }
  if (begins_with(path, L"\\\\")) return replace_start(path, 2, kUncPrefix);
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
    return replace_start(path, 0, kLocalPrefix);
  }
  return path;
}

// Undoes without_length_limit on the short form of `original`.
WidePath with_original_prefix(const WidePath& original,
                              const WidePath& short_form) {
  if (begins_with(original, kLocalPrefix)) return short_form;
  if (begins_with(short_form, kUncPrefix)) {
    return replace_start(short_form, std::wcslen(kUncPrefix), L"\\\\");
  }
  if (begins_with(short_form, kLocalPrefix)) {
    return replace_start(short_form, std::wcslen(kLocalPrefix), L"");
  }
  return short_form;
}

// The short form of an existing path, empty when the system gives none.
WidePath short_path(const WidePath& path) {
  WidePath query = without_length_limit(path);
  query.push_back(L'\0');
  WidePath buffer;
  // The second call needs no more room than the first asked for, unless the
  // path was renamed in between; one more try covers that.
  DWORD size = ::GetShortPathNameW(query.data(), nullptr, 0);
  for (int attempt = 0; attempt < 2 && size > 0; ++attempt) {
    buffer.assign(size, L'\0');
    const DWORD length = ::GetShortPathNameW(query.data(), buffer.data(), size);
    if (length == 0) return WidePath();
    if (length < size) {
      buffer.resize(length);
      return with_original_prefix(path, buffer);
    }
    size = length;
  }
  return WidePath();
}

// Why `path` does not suit the ANSI calls, as the system's error code: a
// character the code page lacks, or a path too long for them.
DWORD unfit_error(const WidePath& path) {
  return exact_ansi(path) ? ERROR_FILENAME_EXCED_RANGE
                          : ERROR_NO_UNICODE_TRANSLATION;
}

}  // namespace

std::string ansi_path(const WidePath& path) {
  if (std::optional<std::string> exact = fitting_ansi(path)) return *exact;
  const WidePath short_form = short_path(path);
  if (!short_form.empty()) {
    if (std::optional<std::string> fitting = fitting_ansi(short_form)) {
      return *fitting;
    }
  }
  // The reason is the path's own, whatever kept it from a short form.
  ::SetLastError(unfit_error(short_form.empty() ? path : short_form));
  return std::string();
}

}  // namespace vcboot
