// Property-list values (string, array, dictionary, data, and the scalar kinds of foreign files) with XML I/O.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zavro {

// A property-list value with value semantics: copying a PropertyList copies the whole tree, so a value
// handed to a container can never be changed behind its back. The program itself stores strings,
// arrays, dictionaries and data; integer, real, boolean and date values appear when a file written by
// another program is read, and are kept so that such a file can be written back unchanged.
//
// Strings and data are byte strings. Dates are seconds since 2001-01-01 00:00:00 UTC; the XML form
// keeps whole seconds only. Reading and writing do not depend on the process's locale.
class PropertyList {
 public:
  enum class Type : std::uint8_t { String, Array, Dictionary, Data, Integer, Real, Boolean, Date };
  using Array = std::vector<PropertyList>;
  using Dictionary = std::map<std::string, PropertyList>;

  // Nesting deeper than this is refused on reading and on writing (it would exhaust the stack of the
  // XML parser long before it could mean anything in a settings file).
  static constexpr int kMaxDepth = 256;

  PropertyList() = default;  // the empty string
  PropertyList(std::string value) : mBytes(std::move(value)) {}
  PropertyList(std::string_view value) : mBytes(value) {}
  PropertyList(const char* value) : mBytes(value != nullptr ? value : "") {}
  PropertyList(Array value) : mType(Type::Array), mArray(std::move(value)) {}
  PropertyList(Dictionary value) : mType(Type::Dictionary), mDictionary(std::move(value)) {}

  static PropertyList data(std::string bytes);
  static PropertyList integer(std::int64_t value);
  static PropertyList real(double value);
  static PropertyList boolean(bool value);
  static PropertyList date(double secondsSince2001);

  Type type() const { return mType; }
  bool isString() const { return mType == Type::String; }
  bool isArray() const { return mType == Type::Array; }
  bool isDictionary() const { return mType == Type::Dictionary; }
  bool isData() const { return mType == Type::Data; }

  // Each accessor returns null (or nullopt) when the value is of another kind.
  const std::string* string() const { return mType == Type::String ? &mBytes : nullptr; }
  const std::string* dataBytes() const { return mType == Type::Data ? &mBytes : nullptr; }
  const Array* array() const { return mType == Type::Array ? &mArray : nullptr; }
  Array* array() { return mType == Type::Array ? &mArray : nullptr; }
  const Dictionary* dictionary() const { return mType == Type::Dictionary ? &mDictionary : nullptr; }
  Dictionary* dictionary() { return mType == Type::Dictionary ? &mDictionary : nullptr; }
  std::optional<std::int64_t> integerValue() const;
  std::optional<double> realValue() const;
  std::optional<bool> booleanValue() const;
  std::optional<double> dateValue() const;

  // Member of a dictionary value; null when this is not a dictionary or has no such key.
  const PropertyList* find(const std::string& key) const;

  bool operator==(const PropertyList& other) const;

  // Parses an XML property list. nullopt (with a reason in *error when given) for anything that is not
  // a complete, well-formed property list: truncated or garbled text, binary plists, nesting beyond
  // kMaxDepth, inputs of 4 GiB or more.
  static std::optional<PropertyList> fromXML(std::string_view xml, std::string* error = nullptr);
  // The XML form; nullopt (with a reason in *error when given) when the value nests deeper than
  // kMaxDepth, a string or key holds a zero byte (XML cannot carry one), or a date is out of range.
  std::optional<std::string> toXML(std::string* error = nullptr) const;

 private:
  Type mType = Type::String;
  std::string mBytes;  // String, Data
  Array mArray;
  Dictionary mDictionary;
  std::int64_t mInteger = 0;
  double mReal = 0;  // Real, Date
  bool mBoolean = false;
};

}  // namespace zavro
