// Byte-range search used by the string helpers (internal to the common folder).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace zavro::strings::detail {

// First occurrence of `target` lying wholly inside [begin, end) of `s`.
std::optional<size_t> findForward(std::string_view s, std::string_view target, size_t begin, size_t end, bool caseless);
// Last occurrence of `target` lying wholly inside [begin, end) of `s`.
std::optional<size_t> findBackward(std::string_view s, std::string_view target, size_t begin, size_t end,
                                   bool caseless);

}  // namespace zavro::strings::detail
