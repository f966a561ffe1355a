// Preferences: sections, values with defaults, conversions, and loading and writing the domain.
#include "settings/Preferences.h"

#include <charconv>

#include "common/IniFile.h"

namespace zavro {

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

Preferences::Preferences() : Preferences(PersistentDomain::standardDomain()) {}

Preferences::Preferences(std::shared_ptr<PersistentDomain> domain) : mDomain(std::move(domain)) {
  loadSections();
}

Preferences::~Preferences() = default;

void Preferences::loadSections() {
  if (!mDomain) {
    return;
  }
  for (auto& [name, value] : mDomain->persistentDomain()) {
    const Dictionary* map = value.dictionary();
    if (map == nullptr) {
      continue;
    }
    auto marker = map->find(kSectionMarker);
    if (marker == map->end() || !boolFromObject(marker->second)) {
      continue;
    }
    setDictionary(std::make_shared<Dictionary>(*map), name);
  }
}

bool Preferences::synchronize() {
  std::lock_guard lock(mMutex);
  if (!mDomain) {
    return false;
  }
  for (auto& [name, map] : mSectionalPreferences) {
    (*map)[kSectionMarker] = PropertyList("YES");
    mDomain->setObject(name, PropertyList(*map));
  }
  return mDomain->synchronize();
}

// ---- Sections ----

Preferences::SectionMap Preferences::dictionaryForSection(const std::string& section) const {
  std::lock_guard lock(mMutex);
  auto it = mSectionalPreferences.find(section);
  return it == mSectionalPreferences.end() ? nullptr : it->second;
}

void Preferences::setDictionary(SectionMap map, const std::string& section) {
  std::lock_guard lock(mMutex);
  if (!map) {
    mSectionalPreferences.erase(section);
    return;
  }
  mSectionalPreferences[section] = std::move(map);
}

Preferences::SectionMap Preferences::newSection(const std::string& section) {
  auto map = std::make_shared<Dictionary>();
  setDictionary(map, section);
  return map;
}

void Preferences::removeSection(const std::string& section) {
  std::lock_guard lock(mMutex);
  mSectionalPreferences.erase(section);
}

// ---- Values ----

std::optional<PropertyList> Preferences::objectForKey(const std::string& key, const std::string& section) const {
  std::lock_guard lock(mMutex);
  if (auto user = objectForKey(key, dictionaryForSection(section).get())) {
    return user;
  }
  return objectForKey(key, defaultDictionaryForSection(section).get());
}

void Preferences::setObject(const std::optional<PropertyList>& object, const std::string& key,
                            const std::string& section) {
  std::lock_guard lock(mMutex);
  SectionMap map = dictionaryForSection(section);
  if (!map) {
    map = newSection(section);
  }
  setObject(object, key, map.get());
}

void Preferences::removeObjectForKey(const std::string& key, const std::string& section) {
  std::lock_guard lock(mMutex);
  removeObjectForKey(key, dictionaryForSection(section).get());
}

std::optional<std::string> Preferences::stringForKey(const std::string& key, const std::string& section) const {
  return stringFromObject(objectForKey(key, section));
}
std::optional<Preferences::Array> Preferences::arrayForKey(const std::string& key, const std::string& section) const {
  return arrayFromObject(objectForKey(key, section));
}
std::optional<Preferences::Dictionary> Preferences::dictionaryForKey(const std::string& key,
                                                                     const std::string& section) const {
  return dictionaryFromObject(objectForKey(key, section));
}
std::optional<std::string> Preferences::dataForKey(const std::string& key, const std::string& section) const {
  return dataFromObject(objectForKey(key, section));
}
std::optional<Preferences::Array> Preferences::stringArrayForKey(const std::string& key,
                                                                 const std::string& section) const {
  return stringArrayFromObject(objectForKey(key, section));
}
int32_t Preferences::integerForKey(const std::string& key, const std::string& section) const {
  return integerFromObject(objectForKey(key, section));
}
float Preferences::floatForKey(const std::string& key, const std::string& section) const {
  return floatFromObject(objectForKey(key, section));
}
bool Preferences::boolForKey(const std::string& key, const std::string& section) const {
  return boolFromObject(objectForKey(key, section));
}
void Preferences::setInteger(int32_t value, const std::string& key, const std::string& section) {
  setObject(objectFromInteger(value), key, section);
}
void Preferences::setFloat(float value, const std::string& key, const std::string& section) {
  setObject(objectFromFloat(value), key, section);
}
void Preferences::setBool(bool value, const std::string& key, const std::string& section) {
  setObject(objectFromBool(value), key, section);
}

// ---- Dictionaries ----

std::optional<PropertyList> Preferences::objectForKey(const std::string& key, const Dictionary* dictionary) const {
  if (dictionary == nullptr) {
    return std::nullopt;
  }
  std::lock_guard lock(mMutex);
  auto it = dictionary->find(key);
  if (it == dictionary->end()) {
    return std::nullopt;
  }
  return it->second;
}

void Preferences::setObject(const std::optional<PropertyList>& object, const std::string& key, Dictionary* dictionary) {
  if (dictionary == nullptr || !object) {
    return;
  }
  std::lock_guard lock(mMutex);
  (*dictionary)[key] = *object;
}

void Preferences::removeObjectForKey(const std::string& key, Dictionary* dictionary) {
  if (dictionary == nullptr) {
    return;
  }
  std::lock_guard lock(mMutex);
  dictionary->erase(key);
}

std::optional<std::string> Preferences::stringForKey(const std::string& key, const Dictionary* dictionary) const {
  return stringFromObject(objectForKey(key, dictionary));
}
std::optional<Preferences::Array> Preferences::arrayForKey(const std::string& key, const Dictionary* dictionary) const {
  return arrayFromObject(objectForKey(key, dictionary));
}
std::optional<Preferences::Dictionary> Preferences::dictionaryForKey(const std::string& key,
                                                                     const Dictionary* dictionary) const {
  return dictionaryFromObject(objectForKey(key, dictionary));
}
std::optional<std::string> Preferences::dataForKey(const std::string& key, const Dictionary* dictionary) const {
  return dataFromObject(objectForKey(key, dictionary));
}
std::optional<Preferences::Array> Preferences::stringArrayForKey(const std::string& key,
                                                                 const Dictionary* dictionary) const {
  return stringArrayFromObject(objectForKey(key, dictionary));
}
int32_t Preferences::integerForKey(const std::string& key, const Dictionary* dictionary) const {
  return integerFromObject(objectForKey(key, dictionary));
}
float Preferences::floatForKey(const std::string& key, const Dictionary* dictionary) const {
  return floatFromObject(objectForKey(key, dictionary));
}
bool Preferences::boolForKey(const std::string& key, const Dictionary* dictionary) const {
  return boolFromObject(objectForKey(key, dictionary));
}
void Preferences::setInteger(int32_t value, const std::string& key, Dictionary* dictionary) {
  setObject(objectFromInteger(value), key, dictionary);
}
void Preferences::setFloat(float value, const std::string& key, Dictionary* dictionary) {
  setObject(objectFromFloat(value), key, dictionary);
}
void Preferences::setBool(bool value, const std::string& key, Dictionary* dictionary) {
  setObject(objectFromBool(value), key, dictionary);
}

// ---- Arrays ----

uint32_t Preferences::objectsInArray(const Array* array) const {
  if (array == nullptr) {
    return 0;
  }
  std::lock_guard lock(mMutex);
  return static_cast<uint32_t>(array->size());
}

std::optional<PropertyList> Preferences::objectAtIndex(uint32_t index, const Array* array) const {
  if (array == nullptr) {
    return std::nullopt;
  }
  std::lock_guard lock(mMutex);
  if (index >= array->size()) {
    return std::nullopt;
  }
  return (*array)[index];
}

void Preferences::setObject(const std::optional<PropertyList>& object, uint32_t index, Array* array) {
  if (array == nullptr || !object) {
    return;
  }
  std::lock_guard lock(mMutex);
  if (index < array->size()) {
    (*array)[index] = *object;
  }
}

void Preferences::addObject(const std::optional<PropertyList>& object, Array* array) {
  if (array == nullptr || !object) {
    return;
  }
  std::lock_guard lock(mMutex);
  array->push_back(*object);
}

void Preferences::removeObjectAtIndex(uint32_t index, Array* array) {
  if (array == nullptr) {
    return;
  }
  std::lock_guard lock(mMutex);
  if (index < array->size()) {
    array->erase(array->begin() + index);
  }
}

std::optional<std::string> Preferences::stringAtIndex(uint32_t index, const Array* array) const {
  return stringFromObject(objectAtIndex(index, array));
}
std::optional<Preferences::Array> Preferences::arrayAtIndex(uint32_t index, const Array* array) const {
  return arrayFromObject(objectAtIndex(index, array));
}
std::optional<Preferences::Dictionary> Preferences::dictionaryAtIndex(uint32_t index, const Array* array) const {
  return dictionaryFromObject(objectAtIndex(index, array));
}
std::optional<std::string> Preferences::dataAtIndex(uint32_t index, const Array* array) const {
  return dataFromObject(objectAtIndex(index, array));
}
std::optional<Preferences::Array> Preferences::stringArrayAtIndex(uint32_t index, const Array* array) const {
  return stringArrayFromObject(objectAtIndex(index, array));
}
int32_t Preferences::integerAtIndex(uint32_t index, const Array* array) const {
  return integerFromObject(objectAtIndex(index, array));
}
float Preferences::floatAtIndex(uint32_t index, const Array* array) const {
  return floatFromObject(objectAtIndex(index, array));
}
bool Preferences::boolAtIndex(uint32_t index, const Array* array) const {
  return boolFromObject(objectAtIndex(index, array));
}
void Preferences::setInteger(int32_t value, uint32_t index, Array* array) {
  setObject(objectFromInteger(value), index, array);
}
void Preferences::setFloat(float value, uint32_t index, Array* array) {
  setObject(objectFromFloat(value), index, array);
}
void Preferences::setBool(bool value, uint32_t index, Array* array) {
  setObject(objectFromBool(value), index, array);
}

// ---- Defaults ----

Preferences::SectionMap Preferences::defaultDictionaryForSection(const std::string& section) const {
  std::lock_guard lock(mMutex);
  auto it = mDefaultPreferences.find(section);
  return it == mDefaultPreferences.end() ? nullptr : it->second;
}

void Preferences::setDefaultObject(const std::optional<PropertyList>& object, const std::string& key,
                                   const std::string& section) {
  std::lock_guard lock(mMutex);
  SectionMap& map = mDefaultPreferences[section];
  if (!map) {
    map = std::make_shared<Dictionary>();
  }
  setObject(object, key, map.get());
}

void Preferences::setDefaultInteger(int32_t value, const std::string& key, const std::string& section) {
  setDefaultObject(objectFromInteger(value), key, section);
}
void Preferences::setDefaultFloat(float value, const std::string& key, const std::string& section) {
  setDefaultObject(objectFromFloat(value), key, section);
}
void Preferences::setDefaultBool(bool value, const std::string& key, const std::string& section) {
  setDefaultObject(objectFromBool(value), key, section);
}

// ---- Conversions ----

std::optional<std::string> Preferences::stringFromObject(const std::optional<PropertyList>& object) {
  if (object && object->string() != nullptr) {
    return *object->string();
  }
  return std::nullopt;
}

std::optional<Preferences::Array> Preferences::arrayFromObject(const std::optional<PropertyList>& object) {
  if (object && object->array() != nullptr) {
    return *object->array();
  }
  return std::nullopt;
}

std::optional<Preferences::Dictionary> Preferences::dictionaryFromObject(const std::optional<PropertyList>& object) {
  if (object && object->dictionary() != nullptr) {
    return *object->dictionary();
  }
  return std::nullopt;
}

std::optional<std::string> Preferences::dataFromObject(const std::optional<PropertyList>& object) {
  if (object && object->dataBytes() != nullptr) {
    return *object->dataBytes();
  }
  return std::nullopt;
}

std::optional<Preferences::Array> Preferences::stringArrayFromObject(const std::optional<PropertyList>& object) {
  return arrayFromObject(object);
}

int32_t Preferences::integerFromObject(const std::optional<PropertyList>& object) {
  auto text = stringFromObject(object);
  return text ? IniFile::intValue(*text) : 0;
}

float Preferences::floatFromObject(const std::optional<PropertyList>& object) {
  auto text = stringFromObject(object);
  return text ? static_cast<float>(IniFile::doubleValue(*text)) : 0.0f;
}

bool Preferences::boolFromObject(const std::optional<PropertyList>& object) {
  auto text = stringFromObject(object);
  if (!text) {
    return false;
  }
  return equalsIgnoringCase(*text, "YES") || IniFile::intValue(*text) != 0;
}

PropertyList Preferences::objectFromInteger(int32_t value) {
  return PropertyList(std::to_string(value));
}

PropertyList Preferences::objectFromFloat(float value) {
  return PropertyList(formatFixed6(static_cast<double>(value)));
}

PropertyList Preferences::objectFromBool(bool value) {
  return PropertyList(value ? "YES" : "NO");
}

std::string Preferences::formatFixed6(double value) {
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  if (result.ec != std::errc()) {
    return "0.000000";
  }
  return std::string(buffer, result.ptr);
}

}  // namespace zavro
