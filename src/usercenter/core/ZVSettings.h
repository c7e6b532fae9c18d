#pragma once
// The user-centre SDK's configuration, read from the application bundle:
//
// "ZV.plist" (in the main bundle, else in the SDK resource bundle
// "ZVSDK.bundle"):
//   ZORVIA_APPKEY, ZORVIA_GAMEID, ZORVIA_APPID, ZORVIA_AGENT
// The Info.plist, or else "ZV.plist":
//   ZORVIA_SERVER_URL   the user-centre server's address ("https://sdk.example.com/");
//                       the API base URL is it followed by "sdkapicoupon2/"
//   ZORVIA_CHAT_URL     the address of the outside customer-chat service
//   channel             the channel id (Info.plist; else ZORVIA_AGENT)
// Nothing of it is a constant of the program: without a server address
// every request fails at once with "服务器错误".

#include <filesystem>
#include <string>

#include "platform/foundation/Value.h"

struct ZVSettings {
    std::string appKey;
    std::string gameID;
    std::string appID;
    std::string agent;
    std::string channelID;
    std::string serverURL;  // always ends in "/" when set
    std::string chatURL;    // always ends in "/" when set

    // The API base URL: the server address followed by "sdkapicoupon2/"; "" without an address.
    std::string apiBaseURL() const;

    // From the main bundle (read on every call: tests rewrite the bundle).
    static ZVSettings fromMainBundle();
    static ZVSettings fromDictionaries(const Value& info, const Value& zvPlist);
    // Where "ZV.plist" was found, or empty.
    static std::filesystem::path zvPlistPath();
};
