#pragma once
// Files and folders reached through a folder held open by descriptor: every
// step below it is taken without following a symlink and without leaving it
// (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS; one component at a
// time with O_NOFOLLOW where the kernel has no openat2). A path that was
// checked, then swapped for a link by another process, is refused when it
// is used, not only when it is checked.
//
// Paths given to a Folder are relative to it ("saves/a.png"); absolute
// paths, ".." components and NUL bytes are refused (EINVAL). "" names the
// folder itself. Failures set errno (ELOOP for a link on the way).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "platform/foundation/Value.h"

struct Error;

namespace files {

namespace fs = std::filesystem;

class Folder {
public:
    // The folder at `path`, following links on the way to it: the folder
    // itself is trusted, what lies below it is not. nullopt when it is no
    // folder or cannot be opened.
    static std::optional<Folder> open(const fs::path& path);
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    const fs::path& path() const { return path_; }

    // What is at `relative`, a final link reported as a link; nullopt when
    // nothing is there or the way to it is refused.
    std::optional<struct stat> status(const fs::path& relative) const;
    // True when no link lies on the way to `relative`, so far as it exists
    // (a path that does not exist yet is fine up to where it stops).
    bool walkable(const fs::path& relative) const;
    std::optional<Data> read(const fs::path& relative) const;
    // Written whole under a temporary name and renamed over `relative`
    // (mode 0600), as files::writeAtomically; its WriteFault seam applies
    // to path() / relative. The parent folder must exist.
    bool write(const fs::path& relative, std::string_view bytes, Error* error = nullptr) const;
    // The folder and its missing parents (0700 each); true when it exists.
    bool makeFolders(const fs::path& relative, Error* error = nullptr) const;
    // A file or link, or a folder with everything in it.
    bool removeAll(const fs::path& relative) const;
    // The names in the folder at `relative` with what each is (lstat);
    // nullopt when it is no folder or cannot be listed.
    struct Entry {
        std::string name;
        mode_t type;  // S_IFREG, S_IFDIR, S_IFLNK, ...
    };
    std::optional<std::vector<Entry>> list(const fs::path& relative) const;
    // Moves or copies `relative` to `toRelative` beneath `to`, never
    // replacing or merging into what is there (EEXIST). Copies take
    // private modes and copy links as links; across file systems a move is
    // a copy, then the removal of the source.
    bool moveNoReplace(const fs::path& relative, const Folder& to, const fs::path& toRelative,
                       Error* error = nullptr) const;
    bool copyNoReplace(const fs::path& relative, const Folder& to, const fs::path& toRelative,
                       Error* error = nullptr) const;

    // Test seam: walk one component at a time even where openat2 exists.
    static void forceStepwiseWalk(bool on);

private:
    Folder(int fd, fs::path path) : fd_(fd), path_(std::move(path)) {}

    int fd_ = -1;
    fs::path path_;
};

// A place beneath a folder, kept as paths and reached through a Folder
// each time it is used: for writes that happen later (a screen's result).
struct Place {
    fs::path base;
    fs::path relative;

    fs::path full() const { return relative.empty() ? base : base / relative; }
    std::optional<Folder> folder() const { return Folder::open(base); }
    std::optional<Data> read() const;
    bool write(std::string_view bytes, Error* error = nullptr) const;
    bool write(const Data& bytes, Error* error = nullptr) const {
        return write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
    }
};

}  // namespace files
