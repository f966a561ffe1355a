// Parsing of response status lines and header fields.
#include "net/HTTPResponseHead.h"

#include <strings.h>

#include <cctype>

namespace zavro {

namespace {

std::string trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) {
    ++begin;
  }
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
    --end;
  }
  return text.substr(begin, end - begin);
}

}  // namespace

std::optional<HTTPResponseHead> HTTPResponseHead::fromStatusLine(const std::string& line) {
  // "HTTP/" version SP three digits [SP reason]
  if (line.rfind("HTTP/", 0) != 0) {
    return std::nullopt;
  }
  size_t space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 4) {
    return std::nullopt;
  }
  long code = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) {
      return std::nullopt;
    }
    code = code * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') {
    return std::nullopt;
  }
  HTTPResponseHead head;
  head.mStatusLine = line;
  head.mStatusCode = code;
  return head;
}

void HTTPResponseHead::addHeaderLine(const std::string& line) {
  if (line.empty()) {
    return;
  }
  if ((line[0] == ' ' || line[0] == '\t') && !mHeaders.empty()) {
    std::string more = trim(line);
    if (!more.empty()) {
      std::string& value = mHeaders.back().second;
      value += value.empty() ? more : " " + more;
    }
    return;
  }
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) {
    return;
  }
  mHeaders.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
}

std::optional<std::string> HTTPResponseHead::header(const std::string& name) const {
  std::optional<std::string> value;
  for (const auto& [fieldName, fieldValue] : mHeaders) {
    if (strcasecmp(fieldName.c_str(), name.c_str()) == 0) {
      value = value ? *value + ", " + fieldValue : fieldValue;
    }
  }
  return value;
}

}  // namespace zavro
