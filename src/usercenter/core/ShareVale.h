#pragma once
// The user-centre SDK's process-wide login state and settings. Values that
// outlive the process are kept in user defaults under keys beginning "ZV_";
// the quick-login password is kept in the keychain, never in user defaults.
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usercenter/core/ZVSettings.h"

class LoginResult;

// User-defaults keys.
inline constexpr const char* kZVUserNameKey = "ZV_username";
inline constexpr const char* kZVIsNotAutoLoginKey = "ZV_isNotAutoLogin";
inline constexpr const char* kZVIsRzKey = "ZV_isRz";
inline constexpr const char* kZVLoginStyleKey = "ZV_LoginStyle";
inline constexpr const char* kZVAccountsKey = "ZV_accounts";
inline constexpr const char* kZVTokenKey = "ZV_token";

class ShareVale {
public:
    static ShareVale& sharedInstance();

    // Re-reads the bundle's settings (done once on first use; tests that
    // rewrite the bundle call it again).
    void reloadSettings();
    const ZVSettings& settings() const { return settings_; }
    const std::string& gameID() const { return settings_.gameID; }
    const std::string& appID() const { return settings_.appID; }
    const std::string& appKey() const { return settings_.appKey; }
    const std::string& chanelid() const { return settings_.channelID; }

    // Persisted.
    std::string userName() const;
    void setUserName(const std::string& name);
    std::string token() const;  // the sign of the last login
    void setToken(const std::string& token);
    std::string isRz() const;  // real-name state text of the last login
    void setIsRz(const std::string& status);
    bool isNotAutoLogin() const;
    // Turning the automatic login off also forgets its password digest.
    void setIsNotAutoLogin(bool v);
    // 1 after a login, 2 after a logout.
    int64_t loginStyle() const;
    void setLoginStyle(int64_t style);
    // Account names used on this device, most recent first.
    std::vector<std::string> accounts() const;
    void rememberAccount(const std::string& name);

    // The password handed over by a quick login; kept in the keychain.
    std::string password() const;
    void setPassword(const std::string& password);

    // The automatic login: the MD5 digest of the last typed password that
    // logged `userName()` in, kept in the keychain (never the password
    // itself) while the switch is on; "" when there is none.
    std::string autoLoginDigest() const;
    void setAutoLoginDigest(const std::string& digest);
    // A login window opening now logs in by itself: the switch is on, the
    // last session ended logged in (login style 1), and an account and its
    // digest are kept; no login stands in this process.
    bool canLogInAutomatically() const;

    // Memory only.
    std::optional<int64_t> xiaohao_id;
    std::string xiaohao_nickName;
    std::string iosWapBoxUrl;
    bool isHideSuspend = false;
    bool isLogin = false;
    std::string loginTime;
    std::shared_ptr<LoginResult> loginResult;
    // The SDK information of the launch request: an update is pending.
    bool needsUpdate = false;
    std::string updateURL;
    std::string updateMessage;

    // Forgets the memory-only state of a login (after a logout).
    void clearLogin();
    // After a logout: login style 2, the automatic login's digest
    // forgotten, and the memory-only state cleared.
    void endLogin();

private:
    ShareVale();
    ZVSettings settings_;
};
