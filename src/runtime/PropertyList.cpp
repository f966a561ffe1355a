// PropertyList: the value type and its XML form through libplist.
#include "runtime/PropertyList.h"

#include <locale.h>
#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace zavro {

namespace {

void setError(std::string* error, std::string text) {
  if (error != nullptr) {
    *error = std::move(text);
  }
}

// libplist formats and parses reals with the C library, which follows the thread's locale; a desktop
// program sets LC_NUMERIC from the environment, and "2,5" must never reach or leave a file.
class CNumericLocale {
 public:
  CNumericLocale() {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    mPrevious = cLocale != static_cast<locale_t>(0) ? uselocale(cLocale) : static_cast<locale_t>(0);
  }
  ~CNumericLocale() {
    if (mPrevious != static_cast<locale_t>(0)) {
      uselocale(mPrevious);
    }
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  locale_t mPrevious;
};

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHolder = std::unique_ptr<void, PlistFree>;

bool startsWith(std::string_view text, size_t at, std::string_view prefix) {
  return text.size() - at >= prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

bool isNameEnd(std::string_view text, size_t at) {
  if (at >= text.size()) {
    return true;
  }
  char c = text[at];
  return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The XML parser of libplist recurses once per nested array or dictionary and has no limit of its own,
// so a hostile file could overflow the stack. This scan measures the nesting before it is handed over.
// Comments, CDATA sections and declarations are skipped as the parser skips them, so markup inside
// them can neither hide nor fake a level.
bool nestingWithin(std::string_view xml, int limit) {
  int depth = 0;
  size_t i = 0;
  while ((i = xml.find('<', i)) != std::string_view::npos) {
    if (startsWith(xml, i, "<!--")) {
      size_t end = xml.find("-->", i + 4);
      if (end == std::string_view::npos) {
        return true;  // unterminated: the parser refuses it
      }
      i = end + 3;
      continue;
    }
    if (startsWith(xml, i, "<![CDATA[")) {
      size_t end = xml.find("]]>", i + 9);
      if (end == std::string_view::npos) {
        return true;
      }
      i = end + 3;
      continue;
    }
    size_t close = xml.find('>', i + 1);
    if (close == std::string_view::npos) {
      return true;
    }
    bool closing = i + 1 < xml.size() && xml[i + 1] == '/';
    size_t name = i + (closing ? 2 : 1);
    bool container = (startsWith(xml, name, "array") && isNameEnd(xml, name + 5)) ||
                     (startsWith(xml, name, "dict") && isNameEnd(xml, name + 4));
    if (container) {
      if (closing) {
        --depth;
      } else if (xml[close - 1] != '/') {
        if (++depth > limit) {
          return false;
        }
      }
    }
    i = close + 1;
  }
  return true;
}

std::optional<PropertyList> fromNode(plist_t node, int depth, std::string* error) {
  if (depth > PropertyList::kMaxDepth) {
    setError(error, "nesting too deep");
    return std::nullopt;
  }
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      return PropertyList(std::string(text != nullptr ? text : "", text != nullptr ? length : 0));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      return PropertyList::data(std::string(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0));
    }
    case PLIST_ARRAY: {
      PropertyList::Array items;
      uint32_t count = plist_array_get_size(node);
      items.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        auto item = fromNode(plist_array_get_item(node, i), depth + 1, error);
        if (!item) {
          return std::nullopt;
        }
        items.push_back(std::move(*item));
      }
      return PropertyList(std::move(items));
    }
    case PLIST_DICT: {
      PropertyList::Dictionary entries;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      std::unique_ptr<void, decltype(&std::free)> iterHolder(iter, &std::free);
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        std::unique_ptr<char, decltype(&std::free)> keyHolder(key, &std::free);
        if (value == nullptr) {
          break;
        }
        auto item = fromNode(value, depth + 1, error);
        if (!item) {
          return std::nullopt;
        }
        entries.insert_or_assign(std::string(key != nullptr ? key : ""), std::move(*item));
      }
      return PropertyList(std::move(entries));
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return PropertyList::integer(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return PropertyList::real(value);
    }
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return PropertyList::boolean(value != 0);
    }
    case PLIST_DATE: {
      int32_t sec = 0;
      int32_t usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return PropertyList::date(static_cast<double>(sec) + static_cast<double>(usec) / 1e6);
    }
    default:
      setError(error, "unsupported value kind");
      return std::nullopt;
  }
}

// A new node, owned by the caller (or by the container it is put into); null on failure.
plist_t toNode(const PropertyList& value, int depth, std::string* error) {
  if (depth > PropertyList::kMaxDepth) {
    setError(error, "nesting too deep");
    return nullptr;
  }
  switch (value.type()) {
    case PropertyList::Type::String: {
      const std::string& text = *value.string();
      if (text.find('\0') != std::string::npos) {
        setError(error, "string holds a zero byte");
        return nullptr;
      }
      return plist_new_string(text.c_str());
    }
    case PropertyList::Type::Data: {
      const std::string& bytes = *value.dataBytes();
      return plist_new_data(bytes.data(), bytes.size());
    }
    case PropertyList::Type::Array: {
      PlistHolder node(plist_new_array());
      for (const auto& item : *value.array()) {
        plist_t child = toNode(item, depth + 1, error);
        if (child == nullptr) {
          return nullptr;
        }
        plist_array_append_item(node.get(), child);
      }
      return node.release();
    }
    case PropertyList::Type::Dictionary: {
      PlistHolder node(plist_new_dict());
      for (const auto& [key, item] : *value.dictionary()) {
        if (key.find('\0') != std::string::npos) {
          setError(error, "key holds a zero byte");
          return nullptr;
        }
        plist_t child = toNode(item, depth + 1, error);
        if (child == nullptr) {
          return nullptr;
        }
        plist_dict_set_item(node.get(), key.c_str(), child);
      }
      return node.release();
    }
    case PropertyList::Type::Integer:
      return plist_new_uint(static_cast<uint64_t>(*value.integerValue()));
    case PropertyList::Type::Real:
      return plist_new_real(*value.realValue());
    case PropertyList::Type::Boolean:
      return plist_new_bool(*value.booleanValue() ? 1 : 0);
    case PropertyList::Type::Date: {
      double seconds = *value.dateValue();
      if (!std::isfinite(seconds)) {
        setError(error, "date out of range");
        return nullptr;
      }
      double whole = std::floor(seconds);
      double limit = static_cast<double>(std::numeric_limits<int32_t>::max());
      if (whole > limit || whole < -limit) {
        setError(error, "date out of range");
        return nullptr;
      }
      auto usec = static_cast<int32_t>(std::lround((seconds - whole) * 1e6));
      auto sec = static_cast<int32_t>(whole);
      if (usec >= 1000000) {
        usec -= 1000000;
        ++sec;
      }
      return plist_new_date(sec, usec);
    }
  }
  return nullptr;
}

}  // namespace

PropertyList PropertyList::data(std::string bytes) {
  PropertyList p(std::move(bytes));
  p.mType = Type::Data;
  return p;
}

PropertyList PropertyList::integer(std::int64_t value) {
  PropertyList p;
  p.mType = Type::Integer;
  p.mInteger = value;
  return p;
}

PropertyList PropertyList::real(double value) {
  PropertyList p;
  p.mType = Type::Real;
  p.mReal = value;
  return p;
}

PropertyList PropertyList::boolean(bool value) {
  PropertyList p;
  p.mType = Type::Boolean;
  p.mBoolean = value;
  return p;
}

PropertyList PropertyList::date(double secondsSince2001) {
  PropertyList p;
  p.mType = Type::Date;
  p.mReal = secondsSince2001;
  return p;
}

std::optional<std::int64_t> PropertyList::integerValue() const {
  return mType == Type::Integer ? std::optional(mInteger) : std::nullopt;
}
std::optional<double> PropertyList::realValue() const {
  return mType == Type::Real ? std::optional(mReal) : std::nullopt;
}
std::optional<bool> PropertyList::booleanValue() const {
  return mType == Type::Boolean ? std::optional(mBoolean) : std::nullopt;
}
std::optional<double> PropertyList::dateValue() const {
  return mType == Type::Date ? std::optional(mReal) : std::nullopt;
}

const PropertyList* PropertyList::find(const std::string& key) const {
  if (mType != Type::Dictionary) {
    return nullptr;
  }
  auto it = mDictionary.find(key);
  return it == mDictionary.end() ? nullptr : &it->second;
}

bool PropertyList::operator==(const PropertyList& other) const {
  if (mType != other.mType) {
    return false;
  }
  switch (mType) {
    case Type::String:
    case Type::Data:
      return mBytes == other.mBytes;
    case Type::Array:
      return mArray == other.mArray;
    case Type::Dictionary:
      return mDictionary == other.mDictionary;
    case Type::Integer:
      return mInteger == other.mInteger;
    case Type::Real:
    case Type::Date:
      return mReal == other.mReal;
    case Type::Boolean:
      return mBoolean == other.mBoolean;
  }
  return false;
}

std::optional<PropertyList> PropertyList::fromXML(std::string_view xml, std::string* error) {
  if (xml.size() >= std::numeric_limits<uint32_t>::max()) {
    setError(error, "file too large");
    return std::nullopt;
  }
  if (xml.substr(0, 6) == "bplist") {
    setError(error, "binary property list");
    return std::nullopt;
  }
  if (!nestingWithin(xml, kMaxDepth)) {
    setError(error, "nesting too deep");
    return std::nullopt;
  }
  CNumericLocale cLocale;
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  PlistHolder holder(root);
  if (root == nullptr) {
    setError(error, "not a well-formed XML property list");
    return std::nullopt;
  }
  return fromNode(root, 0, error);
}

std::optional<std::string> PropertyList::toXML(std::string* error) const {
  PlistHolder root(toNode(*this, 0, error));
  if (!root) {
    return std::nullopt;
  }
  CNumericLocale cLocale;
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root.get(), &xml, &length);
  if (xml == nullptr) {
    setError(error, "encoder failed");
    return std::nullopt;
  }
  std::string result(xml, length);
  plist_to_xml_free(xml);
  return result;
}

}  // namespace zavro
