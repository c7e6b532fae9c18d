// The README's table of the page's calls against the operations the
// plug-ins' scripts put on the page: each operation has one row, written as
// the page calls it (its argument, then `cb` for a value query) with the
// argument's type, and no row names an operation that does not exist. The
// operations come from the plug-ins themselves, so neither side can change
// alone.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/foundation/Strings.h"
#include "plugin/iOS/RAZ5Orered/HSSDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/RelaySDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/SNSDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/TestSupport.h"

namespace {

using Param = ScriptOperation::Param;

// A row of the table: `object.name(parameters)` | argument | answer.
struct Row {
    std::string object, name;
    std::vector<std::string> parameters;
    std::string argument;  // the argument column
    std::string line;
};

const std::vector<const PluginScript*>& scripts() {
    static const std::vector<const PluginScript*> all{&SysPlugin::script(), &RelaySDKPlugin::script(),
                                                      &HSSDKPlugin::script(), &SNSDKPlugin::script()};
    return all;
}

// The lines of the README's section "The page's calls", up to the next section of its level.
std::vector<std::string> sectionLines() {
    std::vector<std::string> out;
    bool inside = false;
    for (auto& line : strings::split(testsupport::readFile(testsupport::sourceDir() / "README.md"), "\n")) {
        if (strings::hasPrefix(line, "## ")) inside = line == "## The page's calls";
        else if (inside) out.push_back(line);
    }
    return out;
}

std::vector<Row> tableRows() {
    static const std::regex call(R"(^\| `([A-Za-z_][A-Za-z0-9_.]*)\.([A-Za-z]+)\(([^()]*)\)` \| ([^|]*) \|)");
    std::vector<Row> rows;
    for (auto& line : sectionLines()) {
        std::smatch m;
        if (!std::regex_search(line, m, call)) continue;
        Row r{m[1], m[2], {}, strings::trim(m[4].str()), line};
        for (auto& p : strings::split(m[3].str(), ",")) {
            std::string name = strings::trim(p);
            if (!name.empty()) r.parameters.push_back(name);
        }
        rows.push_back(r);
    }
    return rows;
}

// The type the argument column must begin with.
std::string typeWord(Param p) {
    switch (p) {
    case Param::None: return "—";
    case Param::Text: return "text";
    case Param::Number: return "number";
    case Param::Object: return "object";
    }
    return "?";
}

TEST(PageCallTable, EveryOperationOfEveryPlugInHasOneRowWithItsArgumentAndCallback) {
    auto rows = tableRows();
    ASSERT_FALSE(rows.empty()) << "no table rows under \"## The page's calls\"";
    for (const PluginScript* script : scripts()) {
        ASSERT_FALSE(script->operations.empty()) << script->object;
        for (const ScriptOperation& op : script->operations) {
            SCOPED_TRACE(script->object + "." + op.name);
            std::vector<const Row*> found;
            for (auto& r : rows)
                if (r.object == script->object && r.name == op.name) found.push_back(&r);
            if (found.size() != 1) {
                ADD_FAILURE() << found.size() << " rows name it";
                continue;
            }
            const Row& row = *found.front();
            size_t expected = (op.param != Param::None) + op.callback;
            EXPECT_EQ(row.parameters.size(), expected) << row.line;
            if (op.callback && !row.parameters.empty()) EXPECT_EQ(row.parameters.back(), "cb") << row.line;
            if (!op.callback && !row.parameters.empty()) EXPECT_NE(row.parameters.back(), "cb") << row.line;
            EXPECT_TRUE(strings::hasPrefix(row.argument, typeWord(op.param))) << row.line;
        }
    }
}

TEST(PageCallTable, EveryRowNamesAnOperationOfItsObject) {
    for (const Row& row : tableRows()) {
        bool known = false;
        for (const PluginScript* script : scripts())
            for (const ScriptOperation& op : script->operations)
                known = known || (script->object == row.object && op.name == row.name);
        EXPECT_TRUE(known) << "no operation of the code: " << row.line;
    }
}

}  // namespace
