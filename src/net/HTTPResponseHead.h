// A received HTTP response head: status line, status code and header fields in arrival order.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zavro {

class HTTPResponseHead {
 public:
  // Parses one status line ("HTTP/1.1 200 OK", line break removed). Empty when it is not one.
  static std::optional<HTTPResponseHead> fromStatusLine(const std::string& line);

  // Adds one header line (line break removed); a line starting with a space or tab continues the
  // previous field. Lines without a colon are ignored.
  void addHeaderLine(const std::string& line);

  const std::string& statusLine() const { return mStatusLine; }
  long statusCode() const { return mStatusCode; }
  const std::vector<std::pair<std::string, std::string>>& headers() const { return mHeaders; }

  // The field's value, names compared without case; several fields of the same name are joined
  // with ", ". Empty when the head has no such field.
  std::optional<std::string> header(const std::string& name) const;

 private:
  std::string mStatusLine;
  long mStatusCode = -1;
  std::vector<std::pair<std::string, std::string>> mHeaders;
};

}  // namespace zavro
