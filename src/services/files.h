#pragma once
// Whole files in and out, raw bytes: no code-page, line-end or byte-order-mark
// handling. Names are handed to the file system as they are; a relative name
// is resolved against the current directory.

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "services/values.h"

namespace sorvane {

// The folder separator of the system's paths.
#ifdef _WIN32
inline constexpr const char* kFolderSeparator = "\\";
#else
inline constexpr const char* kFolderSeparator = "/";
#endif

// Whether a write may replace a file that has the name already.
enum class WriteMode {
  Replace,  // an existing file is replaced whole
  NewOnly,  // the write fails where anything has the name, even when another
            // program takes it while this one writes
};

// Writes the parts in order and returns true when all of them reached the disk.
// The bytes go to a temporary file beside the target that is then moved into
// place, so a failed write (disk full, say) leaves an existing file as it was.
bool writeFile(const Text& name, std::initializer_list<const ByteSet*> parts,
               WriteMode mode = WriteMode::Replace);
inline bool writeFile(const Text& name, const ByteSet& data, WriteMode mode = WriteMode::Replace) {
  return writeFile(name, {&data}, mode);
}

// The whole file; empty on any failure (missing, a folder, no permission).
ByteSet readFile(const Text& name);

// The folder's full path when the name is an existing folder this process may
// create files in; nothing when it is missing, not a folder, read-only or shut
// to us. A relative name is resolved against the current directory, now.
std::optional<Text> writableFolderPath(const Text& name);

// Whether anything has this name: a file, a folder, even a dangling link.
bool nameTaken(const Text& name);

// What a look at the name finds: something by that name (even a dangling
// link), nothing (the name is free), or no answer because its folder cannot
// be looked into (no permission, a share gone, a drive not ready, a path
// through a file or too long).
enum class NameState { Taken, Free, Unknown };
NameState nameState(const Text& name);

// Adds the bytes at the end of the file (made when missing) in one write and
// flushes them to the disk before it returns true. When they cannot all be
// written the file is cut back to where it ended, so what it held before
// stays whole and no part of the new bytes is left behind.
bool appendToFile(const Text& name, const ByteSet& bytes);

// Gives a file (or folder) a new name in the same folder; false when anything
// has that name already, even when it appears while this runs.
bool renameToNewName(const Text& from, const Text& to);

// The size of a regular file this process can open for reading; nothing when
// it is missing, a folder or a device, or shut to us.
std::optional<std::uint64_t> readableFileSize(const Text& name);

}  // namespace sorvane
