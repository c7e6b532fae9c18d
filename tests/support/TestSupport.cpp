#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"

namespace testsupport {

TempDir::TempDir(const std::string& prefix) {
    std::string tmpl = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    char* made = mkdtemp(tmpl.data());
    path_ = made ? fs::path(made) : fs::temp_directory_path() / prefix;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

TempHome::TempHome() : dir_("korvel-home") {
    previous_ = AppHome::root();
    AppHome::setRoot(dir_.path());
    NSUserDefaults::resetStandardUserDefaults();
}

TempHome::~TempHome() {
    AppHome::setRoot(previous_);
    NSUserDefaults::resetStandardUserDefaults();
}

TempBundle::TempBundle(const Value& info) : dir_("korvel-bundle") {
    previous_ = NSBundle::mainBundle().bundlePath();
    setInfo(info);
    NSBundle::setMainBundlePath(dir_.path());
}

TempBundle::~TempBundle() { NSBundle::setMainBundlePath(previous_); }

void TempBundle::setInfo(const Value& info) const {
    auto xml = info.toXMLPlist();
    files::writeAtomically(dir_.path() / "Info.plist", xml);
    NSBundle::mainBundle().reload();
}

void TempBundle::writeFile(const std::string& rel, const std::string& content) const {
    testsupport::writeFile(dir_.path() / rel, content);
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

fs::path sourceDir() { return KORVEL_SOURCE_DIR; }

}  // namespace testsupport
