#pragma once
// The page's file operations, confined by ContainerPaths: writes, moves and
// deletes inside the application's container; reads there or in the
// bundle. Every operation treats a missing or empty argument as a failure.
// A move or copy never replaces or merges into what exists at the
// destination, and a folder is never moved or copied into itself.

#include <optional>
#include <string>

namespace FileOperations {

using Arg = std::optional<std::string>;

// Creates the folder and its missing parents; true also when it exists.
bool CreateDir(const Arg& path);
// {"srcPath", "dstPath"} as JSON text.
bool MoveFile(const Arg& json);
bool CopyFile(const Arg& json);
// The names (not paths) of the folder's files or sub-folders as a
// pretty-printed JSON array; nullopt when the folder cannot be listed or
// is empty.
std::optional<std::string> GetFilesAtPath(const Arg& path);
std::optional<std::string> GetDirsAtPath(const Arg& path);
bool IsExistAtPath(const Arg& path);
bool IsDirAtPath(const Arg& path);
// Removes a file, or a folder with everything in it.
bool DeleteAtPath(const Arg& path);

}  // namespace FileOperations
