// The files directory as the link keeps it (link-internal): temporary files of transfers under
// way, and the record of the files the client itself saved there, so that a device's file only
// ever replaces one of those, never a file of the user's.
#pragma once

#include <string>

// A temporary file in `dir`, locked while it is open so that no other client takes it for a
// leftover: its descriptor, or -1 with errno set. `path` receives its path.
int CreatePartFile(const std::string& dir, std::string& path);
// Removes the temporary files in `dir` that no client holds: transfers an earlier run never
// finished (a crash, a kill).
void RemoveLeftoverParts(const std::string& dir);

enum class NameUse {
    Free,  // nothing has that name
    Ours,  // the very file the client saved there (same inode, size and modification time)
    Taken, // anything else: the user's file, a folder, a link
};
NameUse UseOfName(const std::string& dir, const std::string& name);
// Renames the complete temporary file to `name` when that name is still free, or over the file
// the client saved there itself; 0 or an errno value (EEXIST: the name was taken meanwhile).
int MovePartToName(const std::string& part, const std::string& dir, const std::string& name,
                   NameUse use);
// Adds the file now saved as `name` to the record; entries whose files changed or went are
// dropped.
void RecordSaved(const std::string& dir, const std::string& name);
