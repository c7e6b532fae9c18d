// The user-defaults store: a preferences file of any bytes, whatever lies
// at its reading marker's path, then changes the input chooses (values of
// every type, texts of any bytes, dates of any year). The file reads as
// the property-list reader reads it, whatever the marker, unless it names
// a process that cannot be running (the last launch ended while reading);
// an unreadable file, or one whose reading was cut, is moved aside rather
// than lost; no marker is left behind (it would set the next launch's file
// aside). Every change survives a reload as the property-list writer
// stores it, the store never writes a file it cannot read back, and what
// it writes keeps about the size of what it was given.
//
// Input: byte 0 is the length of the file's bytes (x 4), the file, a byte
// choosing what lies at the marker's path (below), then the changes.

#include <unistd.h>

#include <fstream>

#include "FuzzSupport.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    AppHome::setRoot(fuzz::scratchFolder() / "home");
    NSBundle::setMainBundlePath(fuzz::scratchFolder());  // no Info.plist: the store is "korvel.plist"
    return 0;
}

namespace {

// What a launch finds at the marker's path, by `choice`; true when it names
// a process that cannot be running, whose reading was cut.
bool placeMarker(const fs::path& marker, uint8_t choice, fuzz::Input& in) {
    std::error_code ec;
    fs::remove_all(marker, ec);
    switch (choice % 8) {
    case 1: fs::create_directories(marker / "inside", ec); return false;
    case 2: fs::create_symlink("/proc/self/stat", marker, ec); return false;
    case 3: files::writeAtomically(marker, ""); return false;
    case 4: files::writeAtomically(marker, std::to_string(getpid())); return false;
    case 5: files::writeAtomically(marker, "999999999"); return true;  // past any pid_max
    case 6: files::writeAtomically(marker, "x" + in.text(12)); return false;
    default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    size_t fileLength = size_t(in.byte()) * 4;
    std::string file;
    for (size_t i = 0; i < fileLength && !in.empty(); ++i) file.push_back(char(in.byte()));

    auto& defaults = NSUserDefaults::standardUserDefaults();
    NSUserDefaults::resetStandardUserDefaults();
    fs::path path = defaults.filePath();
    fs::path aside = path;
    aside += ".corrupt";
    std::error_code ec;
    fs::remove(aside, ec);
    files::writeAtomically(path, file);
    fs::path marker = path;
    marker += ".reading";
    bool cut = placeMarker(marker, in.byte(), in);
    NSUserDefaults::resetStandardUserDefaults();

    Value expected = defaults.dictionaryRepresentation();
    FUZZ_CHECK(!fs::exists(fs::symlink_status(marker)));
    auto read = cut ? std::nullopt : Value::fromPlist(file);
    // Compared as written: a real that is no number is unequal to itself.
    if (read && read->isDict()) {
        FUZZ_CHECK(expected.toBinaryPlist() == read->toBinaryPlist());
    } else {
        FUZZ_CHECK(expected.empty());
        FUZZ_CHECK(files::readText(aside) == file);
    }
    while (!in.empty()) {
        std::string key = in.text(8);
        Value value = in.byte() % 4 == 0 ? Value() : in.value(2);
        defaults.setObject(key, value);
        if (value.isNull()) expected.remove(fuzz::storedForm(Value(key)).stringOr());
        else expected.set(fuzz::storedForm(Value(key)).stringOr(), fuzz::storedForm(value));
    }
    NSUserDefaults::resetStandardUserDefaults();
    FUZZ_CHECK(defaults.dictionaryRepresentation().toBinaryPlist() == expected.toBinaryPlist());
    if (auto written = files::readData(path)) FUZZ_CHECK(written->size() <= 8 * size + 256);
    return 0;
}
