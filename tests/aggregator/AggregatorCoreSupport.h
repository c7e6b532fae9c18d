#pragma once
// Shared pieces of the aggregator core's tests: a recording double of the
// user-centre SDK, a notification recorder, fresh aggregator singletons for
// each case, and the channel-file fixtures made by
// fixtures/make-channel-fixtures.sh at build time.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "aggregator/ZorviaServices.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Value.h"

namespace aggtest {

class ZorviaDouble : public ZorviaServices {
public:
    struct RoleUpload {
        std::string roleId, roleName, roleLevel, zoneId, zoneName, attach;
        std::function<void(int)> block;
    };
    struct Payment {
        std::string roleid, money, serverid, productName, productDesc, attach;
        PaySuccess success;
        PayFailure failure;
    };
    struct OpenedURL {
        std::string form, url;
    };

    int launches = 0, loginScreens = 0, logouts = 0;
    LoginSuccess loginSuccess;
    LoginFailure loginFailure;
    std::vector<RoleUpload> roles;
    std::vector<Payment> payments;
    std::vector<OpenedURL> urls;
    unsigned long orientationMask = 2;
    bool throwOnOpenURL = false;

    void didFinishLaunching() override { ++launches; }
    void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed) override {
        ++loginScreens;
        loginSuccess = std::move(success);
        loginFailure = std::move(failed);
    }
    void LoginOut() override { ++logouts; }
    void SetUserInfoDataWithRoleId(const std::string& roleId, const std::string& roleName,
                                   const std::string& roleLevel, const std::string& zoneId,
                                   const std::string& zoneName, const std::string& attach,
                                   std::function<void(int)> block) override {
        roles.push_back({roleId, roleName, roleLevel, zoneId, zoneName, attach, std::move(block)});
    }
    void loadToPayVCWithroleid(const std::string& roleid, const std::string& money, const std::string& serverid,
                               const std::string& productName, const std::string& productDesc,
                               const std::string& attach, PaySuccess success, PayFailure faild) override {
        payments.push_back({roleid, money, serverid, productName, productDesc, attach, std::move(success),
                            std::move(faild)});
    }
    void application_handleOpenURL(UIApplication&, const NSURL& url) override { opened("handleOpenURL", url); }
    void application_openURL_sourceApplication_annotation(UIApplication&, const NSURL& url, const std::string&,
                                                          const Value&) override {
        opened("sourceApplication", url);
    }
    void application_openURL_options(UIApplication&, const NSURL& url, const Value&) override {
        opened("options", url);
    }
    unsigned long application_supportedInterfaceOrientationsForWindow(UIApplication&,
                                                                      const std::shared_ptr<UIWindow>&) override {
        return orientationMask;
    }
    void showMessage(const std::string& message) override { messages.push_back(message); }
    std::vector<std::string> messages;

private:
    void opened(const std::string& form, const NSURL& url);
};

// Records every notification of the given names, in order.
class NotificationRecorder {
public:
    explicit NotificationRecorder(std::vector<std::string> names);
    ~NotificationRecorder();
    NotificationRecorder(const NotificationRecorder&) = delete;
    NotificationRecorder& operator=(const NotificationRecorder&) = delete;

    std::vector<NSNotification> of(const std::string& name) const;
    size_t count(const std::string& name) const { return of(name).size(); }
    const std::vector<NSNotification>& all() const { return seen_; }
    void clear() { seen_.clear(); }

private:
    std::vector<NSNotification> seen_;
};

// Fresh aggregator singletons for one case, made from the current main
// bundle (make the bundle first): channel state, channel adapter,
// lifecycle controller (subscribed, and the gate's init hook), plug-in
// manager (its list read) and server manager; the double installed as the
// user-centre SDK. Everything is dropped again at the end.
class FreshAggregator {
public:
    FreshAggregator();
    ~FreshAggregator();
    std::shared_ptr<ZorviaDouble> zorvia = std::make_shared<ZorviaDouble>();
};

// The bytes of a value's XML property list, as a file holds them.
std::string plistText(const Value& v);
std::string text(const Data& d);

// The two forms of the channel-file fixture, made from fixtures/relayChannel.txt.
std::string plainChannelFixture();
std::string encryptedChannelFixture();

}  // namespace aggtest
