// The sectional preferences store: named sections of key/value maps with registered defaults, kept in
// the user's persistent preferences domain.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "runtime/PersistentDomain.h"
#include "runtime/PropertyList.h"

namespace zavro {

// Values are property lists; scalars are kept as strings ("%d", "%f", "YES"/"NO") and converted on the
// way out. A section is one top-level entry of the domain whose value is a map carrying the marker key
// "Sectional_Lw38lUNn8" = "YES"; entries without the marker are neither loaded nor touched. Defaults
// live in memory only and are registered anew at every start.
//
// Nothing is written until synchronize(). Every value put into the store is a copy (PropertyList is a
// value type), so later changes by the caller never reach the stored value.
//
// Threads: any thread may call any member. One recursive lock guards both maps, every section map and
// every map or list handed to the Dictionaries and Arrays members; those members must be used for
// section maps obtained from dictionaryForSection() that other threads may see.
class Preferences {
 public:
  using Dictionary = PropertyList::Dictionary;
  using Array = PropertyList::Array;
  using SectionMap = std::shared_ptr<Dictionary>;

  static constexpr const char* kSectionMarker = "Sectional_Lw38lUNn8";

  // Loads the sections of this user's standard domain.
  Preferences();
  // Loads the sections of `domain` (tests pass their own).
  explicit Preferences(std::shared_ptr<PersistentDomain> domain);
  virtual ~Preferences();
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  // Marks every section, puts each into the domain and writes the domain. False when the write failed.
  bool synchronize();
  const std::shared_ptr<PersistentDomain>& persistentDomain() const { return mDomain; }

  // ---- Sections ----
  // The live map of the section; null when the section was never set or loaded.
  SectionMap dictionaryForSection(const std::string& section) const;
  // Installs `map` itself as the section (a null map removes the section).
  void setDictionary(SectionMap map, const std::string& section);
  // Installs and returns a new empty section, replacing any of that name.
  SectionMap newSection(const std::string& section);
  // Forgets the section in memory only: the copy last written stays in the domain and is loaded again
  // at the next start.
  void removeSection(const std::string& section);

  // ---- Values: the user's value, else the registered default ----
  std::optional<PropertyList> objectForKey(const std::string& key, const std::string& section) const;
  // Creates the section when missing; a null object changes nothing else.
  void setObject(const std::optional<PropertyList>& object, const std::string& key, const std::string& section);
  void removeObjectForKey(const std::string& key, const std::string& section);
  // The value only when it is of the named kind; a user value of another kind hides the default.
  std::optional<std::string> stringForKey(const std::string& key, const std::string& section) const;
  std::optional<Array> arrayForKey(const std::string& key, const std::string& section) const;
  std::optional<Dictionary> dictionaryForKey(const std::string& key, const std::string& section) const;
  std::optional<std::string> dataForKey(const std::string& key, const std::string& section) const;
  std::optional<Array> stringArrayForKey(const std::string& key, const std::string& section) const;
  int32_t integerForKey(const std::string& key, const std::string& section) const;
  float floatForKey(const std::string& key, const std::string& section) const;
  bool boolForKey(const std::string& key, const std::string& section) const;
  void setInteger(int32_t value, const std::string& key, const std::string& section);
  void setFloat(float value, const std::string& key, const std::string& section);
  void setBool(bool value, const std::string& key, const std::string& section);

  // ---- Dictionaries: the same on a map the caller holds; a null map reads as absent ----
  std::optional<PropertyList> objectForKey(const std::string& key, const Dictionary* dictionary) const;
  void setObject(const std::optional<PropertyList>& object, const std::string& key, Dictionary* dictionary);
  void removeObjectForKey(const std::string& key, Dictionary* dictionary);
  std::optional<std::string> stringForKey(const std::string& key, const Dictionary* dictionary) const;
  std::optional<Array> arrayForKey(const std::string& key, const Dictionary* dictionary) const;
  std::optional<Dictionary> dictionaryForKey(const std::string& key, const Dictionary* dictionary) const;
  std::optional<std::string> dataForKey(const std::string& key, const Dictionary* dictionary) const;
  std::optional<Array> stringArrayForKey(const std::string& key, const Dictionary* dictionary) const;
  int32_t integerForKey(const std::string& key, const Dictionary* dictionary) const;
  float floatForKey(const std::string& key, const Dictionary* dictionary) const;
  bool boolForKey(const std::string& key, const Dictionary* dictionary) const;
  void setInteger(int32_t value, const std::string& key, Dictionary* dictionary);
  void setFloat(float value, const std::string& key, Dictionary* dictionary);
  void setBool(bool value, const std::string& key, Dictionary* dictionary);

  // ---- Arrays: on a list the caller holds; a null list or an index at or past the end is ignored ----
  uint32_t objectsInArray(const Array* array) const;
  std::optional<PropertyList> objectAtIndex(uint32_t index, const Array* array) const;
  void setObject(const std::optional<PropertyList>& object, uint32_t index, Array* array);
  void addObject(const std::optional<PropertyList>& object, Array* array);
  void removeObjectAtIndex(uint32_t index, Array* array);
  std::optional<std::string> stringAtIndex(uint32_t index, const Array* array) const;
  std::optional<Array> arrayAtIndex(uint32_t index, const Array* array) const;
  std::optional<Dictionary> dictionaryAtIndex(uint32_t index, const Array* array) const;
  std::optional<std::string> dataAtIndex(uint32_t index, const Array* array) const;
  std::optional<Array> stringArrayAtIndex(uint32_t index, const Array* array) const;
  int32_t integerAtIndex(uint32_t index, const Array* array) const;
  float floatAtIndex(uint32_t index, const Array* array) const;
  bool boolAtIndex(uint32_t index, const Array* array) const;
  void setInteger(int32_t value, uint32_t index, Array* array);
  void setFloat(float value, uint32_t index, Array* array);
  void setBool(bool value, uint32_t index, Array* array);

  // ---- Defaults ----
  SectionMap defaultDictionaryForSection(const std::string& section) const;
  // Creates the section's default map when missing; a null object registers nothing else.
  void setDefaultObject(const std::optional<PropertyList>& object, const std::string& key, const std::string& section);
  void setDefaultInteger(int32_t value, const std::string& key, const std::string& section);
  void setDefaultFloat(float value, const std::string& key, const std::string& section);
  void setDefaultBool(bool value, const std::string& key, const std::string& section);

  // ---- Conversions ----
  static std::optional<std::string> stringFromObject(const std::optional<PropertyList>& object);
  static std::optional<Array> arrayFromObject(const std::optional<PropertyList>& object);
  static std::optional<Dictionary> dictionaryFromObject(const std::optional<PropertyList>& object);
  static std::optional<std::string> dataFromObject(const std::optional<PropertyList>& object);
  static std::optional<Array> stringArrayFromObject(const std::optional<PropertyList>& object);
  // The string's leading decimal integer (blanks skipped, optional sign, clamped to 32 bits); 0 when
  // absent or not a string.
  static int32_t integerFromObject(const std::optional<PropertyList>& object);
  // The string's leading floating-point number, read the same in every locale; 0 when absent.
  static float floatFromObject(const std::optional<PropertyList>& object);
  // "YES" in any case, or a non-zero integer value.
  static bool boolFromObject(const std::optional<PropertyList>& object);
  static PropertyList objectFromInteger(int32_t value);  // "%d"
  static PropertyList objectFromFloat(float value);      // "%f" of the value as a double, in every locale
  static PropertyList objectFromBool(bool value);        // "YES" / "NO"
  // "%f" of a double, independent of the C locale (Qt applications set it from the environment).
  static std::string formatFixed6(double value);

 protected:
  std::recursive_mutex& mutex() const { return mMutex; }

 private:
  void loadSections();

  std::shared_ptr<PersistentDomain> mDomain;
  std::map<std::string, SectionMap> mSectionalPreferences;
  std::map<std::string, SectionMap> mDefaultPreferences;
  mutable std::recursive_mutex mMutex;
};

}  // namespace zavro
