// Whole-file writes that a reader or a crash never sees half done, and the folders above them.
#pragma once

#include <string>

namespace zavro {

// Creates the missing folders above `path` with mode 0700. On failure *error (when given) says why.
bool createParentFolders(const std::string& path, std::string* error = nullptr);

// Writes `bytes` to `path` atomically (temporary file in the same folder, fsync, rename, then the
// folder flushed) with the given mode; creates missing parent folders with mode 0700. On failure the
// old file is left as it was and *error (when given) says why.
bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode,
                         std::string* error = nullptr);

}  // namespace zavro
