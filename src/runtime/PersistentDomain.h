// A dictionary kept in one XML property-list file: read whole when opened, written whole and atomically.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "runtime/PropertyList.h"

namespace zavro {

// The top level of the file is a dictionary. Entries this program does not know are carried along
// unchanged, since the whole dictionary is written back.
//
// Opening never fails. A missing or empty file is an empty domain. A file that is not a complete XML
// property list with a dictionary at its top (truncated, garbled, written by something else) is moved
// aside as "<file>.corrupt" (replacing an older one), the domain starts empty, and the connection log says so. A file
// that exists but cannot be read, or a damaged one that cannot be moved aside, is never overwritten: synchronize() then
// fails, so nothing the user had is destroyed behind their back.
//
// Thread-safe: every member takes the domain's own lock.
class PersistentDomain {
 public:
  // `description` names the file in log lines ("Preferences file", "Credential file").
  explicit PersistentDomain(std::string path, std::string description = "Preferences file");
  PersistentDomain(const PersistentDomain&) = delete;
  PersistentDomain& operator=(const PersistentDomain&) = delete;

  // This user's preferences domain at Environment::current()->preferencesFile(); one per process
  // (made afresh after Environment::install()).
  static std::shared_ptr<PersistentDomain> standardDomain();

  const std::string& path() const { return mPath; }

  PropertyList::Dictionary persistentDomain() const;
  std::optional<PropertyList> objectForKey(const std::string& key) const;
  void setObject(const std::string& key, PropertyList value);
  void removeObjectForKey(const std::string& key);

  // Writes the whole domain: a temporary file beside the target (mode 0600, flushed to disk) renamed
  // over it, so a reader or a crash sees the old file or the new one, never a mix. The folder is
  // created (0700) when missing. False when anything fails; the file on disk is then unchanged.
  bool synchronize();

  // Where a damaged file was moved when the domain was opened, if that happened.
  std::optional<std::string> movedAsidePath() const;

 private:
  void load();

  std::string mPath;
  std::string mDescription;
  mutable std::mutex mMutex;
  PropertyList::Dictionary mDomain;
  std::optional<std::string> mMovedAside;
  bool mMustNotOverwrite = false;  // the file on disk holds something we could not read or keep
};

}  // namespace zavro
