#pragma once
// The system search index: items an application offers to the device's
// search. The desktop has no such index, so the items are kept in a local
// store (Library/SearchableIndex.json in the application home) that other
// parts of the application, and tests, can read back.

#include <string>
#include <vector>

struct CSSearchableItem {
    std::string uniqueIdentifier;
    std::string domainIdentifier;
    std::string title;
    std::string contentDescription;
    std::vector<std::string> keywords;
};

class CSSearchableIndex {
public:
    static CSSearchableIndex& defaultSearchableIndex();

    // Adds the items, replacing any with the same unique identifier.
    void indexSearchableItems(const std::vector<CSSearchableItem>& items);
    void deleteAllSearchableItems();
    std::vector<CSSearchableItem> allItems() const;
};
