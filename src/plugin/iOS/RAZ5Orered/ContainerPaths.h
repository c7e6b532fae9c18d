#pragma once
// Paths the page names, confined to where the page may act: anything in
// the application's container (its home folder), and for reading also the
// application bundle. A relative path is taken inside the Documents folder.
// Refused: "" and NUL bytes, ".." components, anything outside those
// folders, a path with a symlink anywhere on its way (so far as it exists),
// the keychain file, and for writing the container's root itself.
//
// The answer is a place beneath the home or the bundle, to be used through
// files::Folder, which walks it again without following any link: a folder
// swapped for a link after the check is refused at use.

#include <optional>
#include <string>

#include "platform/foundation/Folder.h"

namespace ContainerPaths {

enum class Access { Read, Write };

std::optional<files::Place> resolve(const std::string& pagePath, Access access);

}  // namespace ContainerPaths
