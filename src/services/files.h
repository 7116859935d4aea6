#pragma once
// Whole files in and out, raw bytes: no code-page, line-end or byte-order-mark
// handling. Names are handed to the file system as they are; a relative name
// is resolved against the current directory. On Windows a full name may be
// longer than the old 260-character limit.
//
// Reading never keeps another program out: a file held open elsewhere (a
// record open in a spreadsheet, a list in an editor) can still be read, and
// where the system will not allow even that, the answer says the file is in
// use rather than that it cannot be read.

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

// Why a file could not be read or written.
enum class FileFault {
  None,     // it could
  Missing,  // nothing has the name (or its folder is missing)
  InUse,    // another program holds it: it is whole, and may be free later
  Failed,   // anything else: no permission, a folder, a device, a full disk
};

// Whether a write may replace a file that has the name already.
enum class WriteMode {
  Replace,  // an existing file is replaced whole
  NewOnly,  // the write fails where anything has the name, even when another
            // program takes it while this one writes
};

// Writes the parts in order and says why it could not. The bytes go to a
// temporary file beside the target that is then moved into place, so a failed
// write (disk full, say) leaves an existing file as it was; and the temporary
// file goes only once the name holds a whole file again, so no failure, even
// one between the two steps of a replace, can lose both.
FileFault writeFileReporting(const Text& name, std::initializer_list<const ByteSet*> parts,
                             WriteMode mode = WriteMode::Replace);
// The same, true when all the parts reached the disk.
inline bool writeFile(const Text& name, std::initializer_list<const ByteSet*> parts,
                      WriteMode mode = WriteMode::Replace) {
  return writeFileReporting(name, parts, mode) == FileFault::None;
}
inline bool writeFile(const Text& name, const ByteSet& data, WriteMode mode = WriteMode::Replace) {
  return writeFile(name, {&data}, mode);
}

struct FileRead {
  FileFault fault = FileFault::None;
  ByteSet bytes;  // the whole file when fault is None (an empty file gives none)
};
// The whole file, or why not. A folder or a device is Failed.
FileRead readFileReporting(const Text& name);
// The whole file; empty on any failure (missing, a folder, no permission).
inline ByteSet readFile(const Text& name) { return readFileReporting(name).bytes; }

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
// flushes them to the disk before it says None. When they cannot all be
// written the file is cut back to where it ended, so what it held before
// stays whole and no part of the new bytes is left behind. Other programs
// may read the file meanwhile but not write it: one that writes it already
// makes this InUse.
FileFault appendToFileReporting(const Text& name, const ByteSet& bytes);
inline bool appendToFile(const Text& name, const ByteSet& bytes) {
  return appendToFileReporting(name, bytes) == FileFault::None;
}

// Gives a file (or folder) a new name in the same folder; false when anything
// has that name already, even when it appears while this runs.
bool renameToNewName(const Text& from, const Text& to);

// Removes a file; true when it is gone (or was never there).
bool removeFile(const Text& name);

// The size of a regular file this process can open for reading; nothing when
// it is missing, a folder or a device, or shut to us.
std::optional<std::uint64_t> readableFileSize(const Text& name);

// For tests: a fault forced on one name (matched byte for byte), for what a
// real system shows only now and then, or, for a file another program holds,
// never on Linux.
enum class ForcedFault {
  None,
  InUse,  // every read, write and append of the name finds it held elsewhere
  // A replace of the name ends as Windows' ReplaceFile can end when a scanner
  // opens the new file at the wrong moment: the old file gone, the new one
  // still under its temporary name. Linux replaces in one step; it ignores this.
  ReplaceUnmoved,
};
void forceFileFault(const Text& name, ForcedFault fault);  // None lifts it
ForcedFault forcedFileFault(const Text& name);

}  // namespace sorvane
