// "SqmRecord.plist": the current record as an XML property list of string keys and string values.
#pragma once

#include <map>
#include <string>

namespace zavro {

// False when the file is missing or is not a dictionary property list; entries that are not strings
// are skipped.
bool readSqmStore(const std::string& path, std::map<std::string, std::string>& fields);
// Written to a temporary file in the same folder, flushed and renamed over the old one, so a reader
// (or a crash) never sees half a record. False when it could not be written.
bool writeSqmStore(const std::string& path, const std::map<std::string, std::string>& fields);

}  // namespace zavro
