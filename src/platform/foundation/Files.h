#pragma once
// File helpers: whole-file reads, torn-free writes, and confinement of
// outside paths to a folder.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

struct Error;

namespace files {

namespace fs = std::filesystem;

std::optional<std::string> readText(const fs::path& path);
std::optional<Data> readData(const fs::path& path);

// Writes to a temporary file in the same folder, flushes it and renames it
// over `path`, so readers see the old or the new content, never a torn one.
// Creates missing parent folders. False (and `error`) on failure, with no
// temporary file left behind.
bool writeAtomically(const fs::path& path, std::string_view bytes, Error* error = nullptr, int mode = 0644);
bool writeAtomically(const fs::path& path, const Data& bytes, Error* error = nullptr, int mode = 0644);

bool exists(const fs::path& path);       // without following a final symlink
bool isDirectory(const fs::path& path);  // following symlinks
bool isRegularFile(const fs::path& path);
bool createDirectories(const fs::path& path, Error* error = nullptr);

// Renames `from` to `to` unless something already exists at `to` (POSIX
// rename would replace it): atomic where the file system supports it, else
// checked just before. False (and `error`, EEXIST when taken) on failure.
bool renameNoReplace(const fs::path& from, const fs::path& to, Error* error = nullptr);

// Resolves `relative` (a path that came from outside: the page, a server, a
// stored record, a URL) inside `base`. Leading slashes are taken as the URL
// form of a path inside `base` ("/img/a.png" is "img/a.png"). Refuses NUL
// bytes and ".." components; resolves symlinks of what exists and checks
// that the result still lies inside the resolved base. The target itself
// need not exist. `relative` is used as given: percent-decode it first where
// it came from a URL.
std::optional<fs::path> confine(const fs::path& base, std::string_view relative);

// True when `path`, fully resolved, lies inside `base`, fully resolved.
bool isInside(const fs::path& base, const fs::path& path);

}  // namespace files
