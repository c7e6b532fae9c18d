#pragma once
// Paths the page names, confined to where the page may act: anything in
// the application's container (its home folder), and for reading also the
// application bundle. A relative path is taken inside the Documents folder.
// Refused: "" and NUL bytes, ".." components, anything that lies (after
// resolving symlinks) outside those folders, the keychain file, and for
// writing the container's root itself.

#include <filesystem>
#include <optional>
#include <string>

namespace ContainerPaths {

enum class Access { Read, Write };

std::optional<std::filesystem::path> resolve(const std::string& pagePath, Access access);

}  // namespace ContainerPaths
