// The model mapper over any JSON reply: a model with a field of every kind,
// a nested model and an array of models. Mapping never fails for a
// dictionary; a model's own key values map to an equal model (what it
// wrote, it reads back), and fields keep their defaults for values of the
// wrong type.

#include "FuzzSupport.h"
#include "model/ZVKeyValue.h"

namespace {

struct Inner {
    std::string name;
    int64_t count = 0;
    static const zv::ModelTable<Inner>& zvTable() {
        static const auto* t = &(new zv::ModelTable<Inner>())->field("name", &Inner::name).field("count", &Inner::count);
        return *t;
    }
};

struct Outer {
    std::string text;
    int64_t wide = 0;
    int narrow = 0;
    double real = 0;
    bool flag = false;
    Value any;
    std::optional<std::string> maybe;
    Inner inner;
    std::vector<Inner> items;
    std::vector<std::string> words;
    static const zv::ModelTable<Outer>& zvTable() {
        static const auto* t = &(new zv::ModelTable<Outer>())
                                    ->field("text", &Outer::text)
                                    .field("wide", &Outer::wide)
                                    .field("narrow", &Outer::narrow)
                                    .field("real", &Outer::real)
                                    .field("flag", &Outer::flag)
                                    .field("any", &Outer::any)
                                    .field("maybe", &Outer::maybe)
                                    .field("inner", &Outer::inner)
                                    .field("items", &Outer::items)
                                    .field("words", &Outer::words)
                                    .replacedKeys({{"text", "t"}, {"items", "list"}});
        return *t;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Value reply = zv::parseKeyValues(fuzz::text(data, size));
    auto model = zv::objectWithKeyValues<Outer>(reply);
    FUZZ_CHECK(model.has_value() == reply.isDict());
    if (auto list = zv::objectArrayWithKeyValuesArray<Inner>(reply)) {
        size_t dictionaries = 0;
        for (auto& e : *reply.getArray()) dictionaries += e.isDict();
        FUZZ_CHECK(list->size() == dictionaries);
    }
    if (!model) return 0;
    if (!reply["wide"].isNumber() && !reply["wide"].isString()) FUZZ_CHECK(model->wide == 0);
    FUZZ_CHECK(model->items.size() <= reply["list"].size());
    Value written = zv::keyValues(*model);
    auto again = zv::objectWithKeyValues<Outer>(written);
    FUZZ_CHECK(again.has_value());
    Value rewritten = zv::keyValues(*again);
    // Reals that are no numbers compare unequal to themselves: compare texts.
    FUZZ_CHECK(rewritten.toJSON() == written.toJSON());
    return 0;
}
