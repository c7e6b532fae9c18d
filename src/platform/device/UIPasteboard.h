#pragma once
// The general pasteboard: the desktop clipboard through GTK when there is
// a display, else a process-local store (headless runs). The store behind
// it is replaceable so that tests need no display. Main thread only (GTK).

#include <memory>
#include <optional>
#include <string>

class PasteboardStore {
public:
    virtual ~PasteboardStore() = default;
    // The clipboard's text; nullopt when it holds none.
    virtual std::optional<std::string> text() = 0;
    virtual void setText(const std::string& text) = 0;
};

// Text kept in the process.
class MemoryPasteboardStore : public PasteboardStore {
public:
    std::optional<std::string> text() override { return text_; }
    void setText(const std::string& text) override { text_ = text; }

private:
    std::optional<std::string> text_;
};

// GTK's CLIPBOARD selection of the default display.
class GtkPasteboardStore : public PasteboardStore {
public:
    std::optional<std::string> text() override;
    void setText(const std::string& text) override;
};

class UIPasteboard {
public:
    static UIPasteboard& generalPasteboard();

    std::optional<std::string> string();
    void setString(const std::string& text);

    // nullptr restores the default (GTK with a display, else memory).
    static void setStore(std::shared_ptr<PasteboardStore> store);

private:
    std::shared_ptr<PasteboardStore> store();
};
