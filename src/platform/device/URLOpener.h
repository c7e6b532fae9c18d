#pragma once
// Hands a URL to the desktop (the user's browser for web addresses). The
// opener is replaceable so that tests never start a browser.

#include <functional>
#include <memory>
#include <string>
#include <vector>

class URLOpener {
public:
    using Completion = std::function<void(bool success)>;
    virtual ~URLOpener() = default;
    // Asks the desktop to open `url`; `completion` runs on the main queue
    // with whether it was handed over.
    virtual void open(const std::string& url, Completion completion) = 0;

    static std::shared_ptr<URLOpener> current();
    // nullptr restores the desktop opener.
    static void install(std::shared_ptr<URLOpener> opener);
};

// The desktop's default handler for the URL's scheme (GIO).
class DesktopURLOpener : public URLOpener {
public:
    void open(const std::string& url, Completion completion) override;
};

// Remembers what it was asked to open and answers with `result`.
class RecordingURLOpener : public URLOpener {
public:
    void open(const std::string& url, Completion completion) override;
    std::vector<std::string> opened;
    bool result = true;
};
