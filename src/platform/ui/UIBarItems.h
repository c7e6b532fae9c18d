#pragma once
// Items shown in bars: bar button items (title, image, custom view, system
// spaces), navigation items (title, title view, prompt, left and right
// items, back button) and tab bar items.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/UIImage.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIView.h"

enum class UIBarButtonSystemItem { Done, Cancel, Edit, Save, Add, FlexibleSpace, FixedSpace, Compose, Reply, Action, Close };
enum class UIBarButtonItemStyle { Plain, Bordered, Done };

// Title attributes of bars and bar items.
struct UITextAttributes {
    std::optional<UIColor> foregroundColor;
    std::shared_ptr<UIFont> font;
};

class UIBarButtonItem : public NSObject, public std::enable_shared_from_this<UIBarButtonItem> {
public:
    using Action = std::function<void(UIBarButtonItem&)>;
    static std::shared_ptr<UIBarButtonItem> withTitle(const std::string& title, UIBarButtonItemStyle style = UIBarButtonItemStyle::Plain,
                                                      Action action = {});
    static std::shared_ptr<UIBarButtonItem> withImage(std::shared_ptr<UIImage> image, Action action = {});
    static std::shared_ptr<UIBarButtonItem> withCustomView(std::shared_ptr<UIView> view);
    static std::shared_ptr<UIBarButtonItem> withSystemItem(UIBarButtonSystemItem item, Action action = {});

    std::string title;
    std::shared_ptr<UIImage> image;
    UIBarButtonItemStyle style = UIBarButtonItemStyle::Plain;
    std::optional<UIBarButtonSystemItem> systemItem;
    std::shared_ptr<UIView> customView;
    double width = 0;  // fixed spaces
    std::optional<UIColor> tintColor;
    long tag = 0;
    Action action;

    // Changes the title, also on the view a bar already shows.
    void setTitle(const std::string& t);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool e);
    void setTitleTextAttributes(const UITextAttributes& a, unsigned state) { titleAttributes_[state] = a; }
    UITextAttributes titleTextAttributes(unsigned state) const;
    template <class T>
    void setTarget(const std::shared_ptr<T>& target, void (T::*method)()) {
        std::weak_ptr<T> weak = target;
        action = [weak, method](UIBarButtonItem&) {
            if (auto t = weak.lock()) ((*t).*method)();
        };
    }
    void sendAction() {
        if (action && enabled_) action(*this);
    }
    // The view a bar shows for the item (made once, except custom views).
    std::shared_ptr<UIView> barView();

private:
    bool enabled_ = true;
    std::map<unsigned, UITextAttributes> titleAttributes_;
    std::shared_ptr<UIView> view_;
};

class UINavigationItem {
public:
    const std::string& title() const { return title_; }
    void setTitle(const std::string& t) {
        title_ = t;
        changed();
    }
    std::shared_ptr<UIView> titleView;
    std::string prompt;
    std::shared_ptr<UIBarButtonItem> backBarButtonItem;
    bool hidesBackButton = false;
    std::vector<std::shared_ptr<UIBarButtonItem>> leftBarButtonItems, rightBarButtonItems;

    std::shared_ptr<UIBarButtonItem> leftBarButtonItem() const { return leftBarButtonItems.empty() ? nullptr : leftBarButtonItems.front(); }
    std::shared_ptr<UIBarButtonItem> rightBarButtonItem() const { return rightBarButtonItems.empty() ? nullptr : rightBarButtonItems.front(); }
    void setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> i, bool animated = false);
    void setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> i, bool animated = false);
    // Set by the navigation controller so that changes show at once.
    std::function<void()> onChange;
    void changed() {
        if (onChange) onChange();
    }

private:
    std::string title_;
};

class UITabBarItem {
public:
    std::string title;
    std::shared_ptr<UIImage> image, selectedImage;
    std::string badgeValue;
    long tag = 0;
    void setTitleTextAttributes(const UITextAttributes& a, unsigned state) { titleAttributes[state] = a; }
    std::map<unsigned, UITextAttributes> titleAttributes;
};
