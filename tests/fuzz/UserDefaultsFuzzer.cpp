// The user-defaults store: a preferences file of any bytes, then changes
// the input chooses (values of every type, texts of any bytes, dates of any
// year). Every change survives a reload as the property-list writer stores
// it, an unreadable file is moved aside rather than lost, no marker of a
// reading is left behind (it would set the next launch's file aside), the
// store never
// writes a file it cannot read back, and what it writes keeps about the
// size of what it was given.
//
// Input: byte 0 is the length of the file's bytes (x 4), the file, then
// the changes.

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
    NSUserDefaults::resetStandardUserDefaults();

    Value expected = defaults.dictionaryRepresentation();
    fs::path marker = path;
    marker += ".reading";
    FUZZ_CHECK(!fs::exists(marker));
    auto read = Value::fromPlist(file);
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
