#pragma once
// Whole-file reads and writes and the folder helpers of the shell. Paths are native ("/" on
// POSIX); NativePath turns the "\" of configuration values and Windows-style rules into "/".
#include <cstdint>
#include <cstdio>
#include <optional>
#include "platform/expected.h"
#include <string>
#include <string_view>

namespace upwend {

Expected<std::string, OsError> ReadWholeFile(const std::string& path);
// Creates or replaces the file; the bytes go to a temporary file beside it that is renamed over
// the target, so readers never see half a file.
Expected<void, std::string> WriteWholeFileAtomic(const std::string& path, std::string_view bytes);
// Creates or replaces the file in place, with no temporary file beside it: only for files that
// nobody reads while they are written.
Expected<void, std::string> WriteWholeFile(const std::string& path, std::string_view bytes);
// Copies a file over the target (replacing it). Never follows a target that is a folder.
Expected<void, std::string> CopyFileOver(const std::string& from, const std::string& to);

// The size of the file at `path` as a read-only open sees it, so an unreadable file has none.
// The open never blocks, also on a pipe or device that carries a file's name.
std::optional<uint64_t> ReadableFileSize(const std::string& path);
// The size of an open file; none when it is not a regular file.
std::optional<uint64_t> RegularFileSize(std::FILE* file);

// Whether the first bytes of a file can be read, before the file is handed to a helper library
// that reads it to its end. Only a regular file is read (never blocking); anything else is
// kReadFailed (a folder is kOpenFailed on Windows, where it cannot be opened as a file).
enum class FileStartProbe { kOk, kOpenFailed, kReadFailed };
FileStartProbe ProbeFileStart(const std::string& path, size_t bytes);

// Empty when a new file can be created in `folder` (one is created and removed again: only that
// proves it, as permissions alone do not tell with root, ACLs or read-only mounts); else the
// system's reason.
std::string FolderWriteProblem(const std::string& folder);

bool FileExists(const std::string& path);    // a regular file (or a link to one)
bool FolderExists(const std::string& path);  // a folder (or a link to one)

// "\" becomes "/" on POSIX; both separators are accepted in configuration values.
std::string NativePath(std::string_view path);
// The text after the last "\" or "/" (the whole text when there is none).
std::string_view FileNamePart(std::string_view path);
// The folder of the running executable, ending with "/".
std::string ExecutableFolder();
// The path of the running executable.
std::string ExecutablePath();

// Creates every missing folder of `path`, part by part from the root. On failure returns
// "Could not create folder!" followed by the first folder that could neither be found nor created.
Expected<void, std::string> CreateFolderPath(const std::string& path);

// Deletes a folder with its content; true when the folder itself was removed.
//  - a path of 3 characters or fewer is refused, so a root is never deleted;
//  - names beginning with "." are skipped (never deleted), so a folder that holds one stays;
//  - after the first failure nothing further is deleted;
//  - a link is removed as a link: the tree it points to is never entered, at any depth and
//    also when `path` itself is one.
bool DeleteFolderTree(const std::string& path);

// Makes sure `path` is a folder that only the user can reach: creates it with mode 0700 (its
// parents as needed), or checks the one found there. A link, something that is not a folder, a
// folder of another user and one that others can write to are refused with the reason; a folder
// of the user's that others could only read is closed to them.
Expected<void, std::string> EnsurePrivateFolder(const std::string& path);

}  // namespace upwend
