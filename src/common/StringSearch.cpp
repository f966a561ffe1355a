// Byte-range search used by the string helpers.
#include "common/StringSearch.h"

namespace zavro::strings::detail {
namespace {

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matchesAt(std::string_view s, std::string_view target, size_t at, bool caseless) {
  for (size_t i = 0; i < target.size(); ++i) {
    char a = s[at + i];
    char b = target[i];
    if (caseless ? lower(a) != lower(b) : a != b) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<size_t> findForward(std::string_view s, std::string_view target, size_t begin, size_t end,
                                  bool caseless) {
  if (target.empty() || end > s.size() || begin > end || end - begin < target.size()) {
    return std::nullopt;
  }
  if (!caseless) {
    size_t at = s.substr(0, end).find(target, begin);
    return at == std::string_view::npos ? std::nullopt : std::optional<size_t>(at);
  }
  for (size_t at = begin; at + target.size() <= end; ++at) {
    if (matchesAt(s, target, at, true)) {
      return at;
    }
  }
  return std::nullopt;
}

std::optional<size_t> findBackward(std::string_view s, std::string_view target, size_t begin, size_t end,
                                   bool caseless) {
  if (target.empty() || end > s.size() || begin > end || end - begin < target.size()) {
    return std::nullopt;
  }
  for (size_t at = end - target.size() + 1; at-- > begin;) {
    if (matchesAt(s, target, at, caseless)) {
      return at;
    }
  }
  return std::nullopt;
}

}  // namespace zavro::strings::detail
