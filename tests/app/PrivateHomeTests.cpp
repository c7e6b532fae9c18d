// The running executable under "umask 000", with a login typed on its
// login window: everything it makes in its home (its own folders and files,
// the user defaults with the login's token, keychain, logs, the page's
// files, the engine's storage) is its user's alone.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "LoginRoadSupport.h"
#include "platform/foundation/Strings.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"
#include "support/GameWindow.h"  // last: Xlib's macros

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// The page writes through every road it has, then asks for a login.
std::string page(const fs::path& bundle) {
    return R"HTML(<html><body style="margin: 0; height: 100vh; background: rgb(40, 120, 220)"><script>
  RelaySDK_IOS.SetCallback({onLogin: function (r) { KL_IOS.Error('onLogin ' + r.result); }});
  KL_IOS.InitKeychain('private.test');
  KL_IOS.SetKeychain({key: 'k', value: 'v'});
  localStorage.setItem('saved', 'yes');
  KL_IOS.GetDocumentPath(function (docs) {
    KL_IOS.CreateDir(docs + '/made/deeper', function () {});
    KL_IOS.CopyFile({srcPath: )HTML" +
           strings::jsStringLiteral((bundle / "Data/index.html").string()) + R"HTML(,
                     dstPath: docs + '/made/copy.html'}, function () {});
    KL_IOS.CreateQRCode(JSON.stringify({text: 'qr', savePath: docs + '/qr.jpg'}));
    KL_IOS.SaveImageToPhotoAlbum(docs + '/qr.jpg');
    KL_IOS.AddSearchItems([{id: 'i1', title: 'T', keywords: ['k']}]);
  });
  (function login() {
    RelaySDK_IOS.GetInitResult(function (c) { if (c === 0) RelaySDK_IOS.Login(); else setTimeout(login, 100); });
  })();
</script></body></html>)HTML";
}

// Entries of `home` (itself included) whose mode is not 0700 (folders) or 0600 (the rest).
std::vector<std::string> openToOthers(const fs::path& home) {
    std::vector<std::string> out;
    auto check = [&](const fs::path& p) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
        mode_t want = S_ISDIR(st.st_mode) ? 0700 : 0600;
        if ((st.st_mode & 07777) != want)
            out.push_back(strings::format("%s %o", fs::relative(p, home).c_str(), unsigned(st.st_mode & 07777)));
    };
    check(home);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(home, ec), end; !ec && it != end; it.increment(ec)) check(it->path());
    return out;
}

TEST(PrivateHome, EverythingTheGameMakesIsTheUsersAloneUnderUmask000) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    roadtest::StandIns standIns;
    ASSERT_TRUE(standIns.start());
    testsupport::TempDir dir;
    fs::path bundle = dir / "Game.app", home = dir / "home";
    Value info = roadtest::infoFor(standIns);
    info.set("CFBundleIdentifier", "com.example.private");
    roadtest::writeBundle(bundle, info, page(bundle));

    // The photo library is the desktop's pictures folder: here one in the home.
    fs::path pictures = home / "Pictures";
    mode_t previous = ::umask(0);
    GameProcess game(GameProcess::Options{bundle, home, dir / "game.log", {{"KORVEL_PHOTO_LIBRARY", pictures.string()}}});
    ::umask(previous);
    Window window = 0;
    ASSERT_TRUE(testsupport::waitFor([&] { return !game.running() || (window = windowOf(display, game.pid())); }))
        << game.log();
    // The login window dims the page around its panel: type the player's account.
    ASSERT_TRUE(testsupport::waitFor([&] {
        auto p = pixel(display, window, {8, 8});
        return p && near(*p, {24, 72, 132});
    })) << game.log();
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    xtestKey(display, XK_Tab);
    xtestType(display, roadtest::kPlayer);
    xtestKey(display, XK_Return);
    xtestType(display, roadtest::kPassword);
    xtestKey(display, XK_Return);
    fs::path defaults = home / "Library/Preferences/com.example.private.plist";
    std::error_code ec;
    ASSERT_TRUE(testsupport::waitFor([&] {
        return !game.running() || (game.reported("onLogin 0") && fs::exists(pictures) && !fs::is_empty(pictures, ec));
    })) << game.log();
    ASSERT_TRUE(game.stop());
    XCloseDisplay(display);

    EXPECT_NE(testsupport::readFile(defaults).find("ZV_token"), std::string::npos);
    for (auto made : {"Documents/made/deeper", "Documents/made/copy.html", "keychain.sqlite", "Library/Caches/Logs",
                      "Library/SearchableIndex.json"})
        EXPECT_TRUE(fs::exists(home / made)) << made;
    auto open = openToOthers(home);
    EXPECT_TRUE(open.empty()) << strings::join(open, "\n");
}

}  // namespace
