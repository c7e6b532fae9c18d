#pragma once
// File helpers: whole-file reads, torn-free writes, private modes, and
// confinement of outside paths to a folder.
//
// Everything the program makes is its user's alone, whatever the umask:
// folders it creates are 0700 and files it writes 0600, set explicitly
// after creation (a umask can only take bits away, and an odd one such as
// 0277 would take too many).

#include <cerrno>
#include <filesystem>
#include <memory>
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
// Creates missing parent folders (0700). The file gets exactly `mode`.
// False (and `error`) on failure, with no temporary file left behind.
inline constexpr int kPrivateFileMode = 0600;
inline constexpr int kPrivateFolderMode = 0700;
bool writeAtomically(const fs::path& path, std::string_view bytes, Error* error = nullptr,
                     int mode = kPrivateFileMode);
bool writeAtomically(const fs::path& path, const Data& bytes, Error* error = nullptr, int mode = kPrivateFileMode);

namespace detail {
// writeAtomically of the file `name` relative to the folder descriptor
// `dirfd`; `shown` is its path for messages and the WriteFault seam.
bool writeAtomicallyAt(int dirfd, const std::string& name, const fs::path& shown, std::string_view bytes,
                       Error* error, int mode);
}  // namespace detail

// Test seam for the failure paths of writeAtomically. Tests run as root,
// where permissions cannot make a write fail, so a live WriteFault makes
// atomic writes fail at the chosen step instead, with the chosen errno. The
// write then behaves exactly as a real failure at that step: it returns
// false with that error, the old file stays as it was and no temporary is
// left. At `write` the first half of the bytes reaches the temporary file
// first, as on a disk that fills up mid-write. Faults are process-wide (any
// thread's writes) and end with the object; several may live at once, the
// first armed one that matches wins.
enum class WriteStep { create, write, sync, rename };

class WriteFault {
public:
    // The next atomic write, of any path, fails.
    explicit WriteFault(WriteStep step, int error = ENOSPC);
    // Every atomic write to `path`, or to anything below it when it names a
    // folder, fails while this object lives.
    WriteFault(fs::path path, WriteStep step, int error = ENOSPC);
    ~WriteFault();
    WriteFault(const WriteFault&) = delete;
    WriteFault& operator=(const WriteFault&) = delete;

    int hits() const;  // writes it has made fail so far

    struct State;

private:
    std::shared_ptr<State> state_;
};

bool exists(const fs::path& path);       // without following a final symlink
bool isDirectory(const fs::path& path);  // following symlinks
bool isRegularFile(const fs::path& path);
// Creates the missing folders of `path`, each 0700; folders that exist
// keep their modes.
bool createDirectories(const fs::path& path, Error* error = nullptr);
// Creates `path` as an empty 0600 file when missing, and gives an existing
// one mode 0600: for stores such as SQLite, which would create their files
// after the umask (and give their side files the main file's mode).
bool ensurePrivateFile(const fs::path& path, Error* error = nullptr);
// Gives `path`, and for a folder everything below it, the private modes
// (symlinks are left alone). False when any entry could not be changed.
bool makePrivate(const fs::path& path);

// Renames `from` to `to` unless something already exists at `to` (POSIX
// rename would replace it): atomic where the file system supports it, else
// checked just before. False (and `error`, EEXIST when taken) on failure.
bool renameNoReplace(const fs::path& from, const fs::path& to, Error* error = nullptr);

// Resolves `relative` (a path that came from outside: the page, a server, a
// stored record, a URL) inside `base`. Leading slashes are taken as the URL
// form of a path inside `base` ("/img/a.png" is "img/a.png"). Refuses NUL
// bytes and ".." components; resolves every symlink on the way, dangling
// ones too (to where their target would be), and checks that the result
// still lies inside the resolved base. The target itself need not exist.
// `relative` is used as given: percent-decode it first where it came from
// a URL. The answer is checked, not held: where another process may swap
// a folder for a link between check and use, work through a Folder.
std::optional<fs::path> confine(const fs::path& base, std::string_view relative);

// `path` made absolute with every symlink on the way resolved, a final or
// dangling one too; what does not exist is taken as written. nullopt for a
// loop of links.
std::optional<fs::path> resolveAll(const fs::path& path);

// True when `path`, fully resolved, lies inside `base`, fully resolved.
bool isInside(const fs::path& base, const fs::path& path);

}  // namespace files
