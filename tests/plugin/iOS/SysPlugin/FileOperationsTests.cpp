// The page's file operations: confined to the container (reads also in the
// bundle), never replacing or merging, with the page's answers for empty,
// missing and unlistable paths.

#include <gtest/gtest.h>
#include <cerrno>
#include <unistd.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/ContainerPaths.h"
#include "plugin/iOS/RAZ5Orered/FileOperations.h"
#include "plugin/iOS/RAZ5Orered/ImageOperations.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace FileOperations;
using testsupport::readFile;
using testsupport::TempBundle;
using testsupport::TempDir;
using testsupport::TempHome;
using testsupport::writeFile;

std::string pair(const fs::path& src, const fs::path& dst) {
    return Value::dict({{"srcPath", src.string()}, {"dstPath", dst.string()}}).toJSON();
}

std::vector<std::string> names(const std::optional<std::string>& json) {
    std::vector<std::string> out;
    if (!json) return out;
    auto v = Value::fromJSON(*json);
    if (v && v->isArray())
        for (auto& e : *v->getArray()) out.push_back(e.stringOr("?"));
    return out;
}

class Files : public ::testing::Test {
protected:
    TempHome home;
    TempBundle bundle;
    TempDir outside{"korvel-outside"};
    fs::path docs = AppHome::documents();
};

TEST_F(Files, DocumentPathIsTheContainersDocumentsFolder) {
    auto path = Utils::GetDocumentPath();
    ASSERT_TRUE(path);
    EXPECT_TRUE(fs::path(*path).is_absolute());
    EXPECT_TRUE(files::isInside(home.path(), *path));
    EXPECT_TRUE(CreateDir(*path + "/saves/slot1"));
    EXPECT_TRUE(IsDirAtPath(*path + "/saves/slot1"));
}

TEST_F(Files, EmptyAndMissingArgumentsFail) {
    for (const Arg& a : {Arg(), Arg("")}) {
        EXPECT_FALSE(CreateDir(a));
        EXPECT_FALSE(MoveFile(a));
        EXPECT_FALSE(CopyFile(a));
        EXPECT_FALSE(GetFilesAtPath(a));
        EXPECT_FALSE(GetDirsAtPath(a));
        EXPECT_FALSE(IsExistAtPath(a));
        EXPECT_FALSE(IsDirAtPath(a));
        EXPECT_FALSE(DeleteAtPath(a));
    }
}

TEST_F(Files, ListingsAnswerNamesOfOneKind) {
    fs::create_directories(docs / "mixed/sub1");
    fs::create_directories(docs / "mixed/sub2");
    writeFile(docs / "mixed/b.txt", "b");
    writeFile(docs / "mixed/a.png", "a");
    fs::create_symlink(docs / "gone", docs / "mixed/dangling");
    EXPECT_EQ(names(GetFilesAtPath((docs / "mixed").string())), (std::vector<std::string>{"a.png", "b.txt"}));
    EXPECT_EQ(names(GetDirsAtPath((docs / "mixed").string())), (std::vector<std::string>{"sub1", "sub2"}));

    // Only sub-folders: an empty array; an empty folder or a file: no answer.
    fs::create_directories(docs / "onlydirs/x");
    EXPECT_EQ(GetFilesAtPath((docs / "onlydirs").string()), "[]");
    fs::create_directories(docs / "empty");
    EXPECT_FALSE(GetFilesAtPath((docs / "empty").string()));
    EXPECT_FALSE(GetDirsAtPath((docs / "empty").string()));
    EXPECT_FALSE(GetFilesAtPath((docs / "mixed/a.png").string()));
    EXPECT_FALSE(GetFilesAtPath((docs / "nowhere").string()));
}

TEST_F(Files, ExistenceAndKind) {
    writeFile(docs / "f.txt", "x");
    EXPECT_TRUE(IsExistAtPath((docs / "f.txt").string()));
    EXPECT_FALSE(IsDirAtPath((docs / "f.txt").string()));
    EXPECT_TRUE(IsDirAtPath(docs.string()));
    EXPECT_FALSE(IsExistAtPath((docs / "g.txt").string()));
    EXPECT_TRUE(CreateDir(docs.string())) << "an existing folder is a success";
    EXPECT_FALSE(CreateDir((docs / "f.txt").string())) << "a file is in the way";
    // A relative path is taken inside Documents.
    EXPECT_TRUE(IsExistAtPath(std::string("f.txt")));
    EXPECT_TRUE(CreateDir(std::string("rel/dir")));
    EXPECT_TRUE(fs::is_directory(docs / "rel/dir"));
}

TEST_F(Files, PathsOutsideTheContainerAreRefused) {
    writeFile(outside / "secret.txt", "secret");
    fs::create_directories(docs / "in");
    fs::create_symlink(outside.path(), docs / "out-link");
    fs::create_symlink(outside / "secret.txt", docs / "secret-link");
    const std::string escapes[] = {
        (outside / "secret.txt").string(),
        (docs / "../../../").string() + outside.path().relative_path().string() + "/secret.txt",
        (docs / "in/../in").string(),
        "../secret.txt",
        (docs / "out-link/secret.txt").string(),
        (docs / "secret-link").string(),
        std::string("/etc/passwd"),
        std::string("in\0x", 4),
    };
    for (auto& p : escapes) {
        EXPECT_FALSE(IsExistAtPath(p)) << p;
        EXPECT_FALSE(GetFilesAtPath(p)) << p;
        EXPECT_FALSE(CreateDir(p + "/made")) << p;
        EXPECT_FALSE(DeleteAtPath(p)) << p;
        EXPECT_FALSE(CopyFile(pair(p, docs / "copied"))) << p;
    }
    for (const fs::path& dst : {outside / "copied", docs / "../escaped", docs / "out-link/new", fs::path("/tmp/x")}) {
        EXPECT_FALSE(CopyFile(pair(docs / "in", dst))) << dst;
        EXPECT_FALSE(MoveFile(pair(docs / "in", dst))) << dst;
    }
    EXPECT_EQ(readFile(outside / "secret.txt"), "secret");
    EXPECT_FALSE(fs::exists(docs / "copied"));
    EXPECT_TRUE(fs::is_directory(docs / "in"));
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);

    // The container itself and the keychain file are off limits.
    EXPECT_FALSE(DeleteAtPath(home.path().string()));
    writeFile(home.path() / "keychain.sqlite", "k");
    EXPECT_FALSE(IsExistAtPath((home.path() / "keychain.sqlite").string()));
    EXPECT_FALSE(DeleteAtPath((home.path() / "keychain.sqlite").string()));
    EXPECT_FALSE(CopyFile(pair(home.path() / "keychain.sqlite", docs / "k")));
    EXPECT_TRUE(fs::exists(home.path() / "keychain.sqlite"));
}

TEST_F(Files, LinksAreRefusedDanglingOrNotAndAtUseAsWellAsAtTheCheck) {
    // A dangling link whose target lies outside once passed the check, and
    // a write through it would have made the file outside.
    fs::create_symlink(outside / "planted", docs / "dangling");
    fs::create_symlink(outside / "gone/dir", docs / "dangling-dir");
    fs::create_directories(docs / "real");
    fs::create_symlink(docs / "real", docs / "inner-link");
    for (const char* p : {"dangling", "dangling-dir/x", "inner-link/x"}) {
        EXPECT_FALSE(ContainerPaths::resolve(p, ContainerPaths::Access::Read)) << p;
        EXPECT_FALSE(ContainerPaths::resolve(p, ContainerPaths::Access::Write)) << p;
        EXPECT_FALSE(CreateDir(std::string(p) + "/made")) << p;
        EXPECT_FALSE(CopyFile(pair(docs / "real", docs / p))) << p;
    }
    EXPECT_FALSE(ImageOperations::CreateQRCode(
        Value::dict({{"text", "t"}, {"savePath", (docs / "dangling").string()}}).toJSON()));

    // Checked, then a folder on the way swapped for a link out: the use is refused.
    auto place = ContainerPaths::resolve((docs / "real/thumb.png").string(), ContainerPaths::Access::Write);
    ASSERT_TRUE(place);
    fs::rename(docs / "real", docs / "real-old");
    fs::create_directory_symlink(outside.path(), docs / "real");
    Error error;
    EXPECT_FALSE(place->write(Data{1, 2, 3}, &error));
    EXPECT_EQ(error.code, ELOOP);
    EXPECT_FALSE(place->read());
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 0);
    EXPECT_FALSE(fs::exists(outside / "planted"));
}

TEST_F(Files, TheBundleIsReadableButNotWritable) {
    bundle.writeFile("Data/level1.json", "{\"level\":1}");
    auto inBundle = bundle.path() / "Data/level1.json";
    EXPECT_TRUE(IsExistAtPath(inBundle.string()));
    EXPECT_EQ(GetFilesAtPath((bundle.path() / "Data").string()), "[\n  \"level1.json\"\n]");
    ASSERT_TRUE(CopyFile(pair(inBundle, docs / "level1.json")));
    EXPECT_EQ(readFile(docs / "level1.json"), "{\"level\":1}");
    EXPECT_FALSE(MoveFile(pair(inBundle, docs / "moved.json")));
    EXPECT_FALSE(DeleteAtPath(inBundle.string()));
    EXPECT_FALSE(CreateDir((bundle.path() / "new").string()));
    EXPECT_TRUE(fs::exists(inBundle));
}

TEST_F(Files, MovesAndCopiesNeverReplaceOrMerge) {
    writeFile(docs / "a.txt", "A");
    writeFile(docs / "b.txt", "B");
    EXPECT_FALSE(MoveFile(pair(docs / "a.txt", docs / "b.txt")));
    EXPECT_FALSE(CopyFile(pair(docs / "a.txt", docs / "b.txt")));
    EXPECT_EQ(readFile(docs / "a.txt"), "A");
    EXPECT_EQ(readFile(docs / "b.txt"), "B");

    fs::create_directories(docs / "src/inner");
    writeFile(docs / "src/inner/x", "x");
    fs::create_directories(docs / "dst");
    writeFile(docs / "dst/keep", "keep");
    EXPECT_FALSE(CopyFile(pair(docs / "src", docs / "dst")));
    EXPECT_FALSE(fs::exists(docs / "dst/inner")) << "no merge into an existing folder";
    EXPECT_FALSE(MoveFile(pair(docs / "src", docs / "dst")));

    // Into itself: refused, instead of copying without end.
    EXPECT_FALSE(CopyFile(pair(docs / "src", docs / "src/inner/again")));
    EXPECT_FALSE(MoveFile(pair(docs / "src", docs / "src/inner/again")));

    ASSERT_TRUE(CopyFile(pair(docs / "src", docs / "copy")));
    EXPECT_EQ(readFile(docs / "copy/inner/x"), "x");
    EXPECT_TRUE(fs::exists(docs / "src/inner/x"));
    ASSERT_TRUE(MoveFile(pair(docs / "a.txt", docs / "c.txt")));
    EXPECT_FALSE(fs::exists(docs / "a.txt"));
    EXPECT_EQ(readFile(docs / "c.txt"), "A");

    // No stray temporary names are left behind.
    for (auto& e : fs::directory_iterator(docs))
        EXPECT_EQ(e.path().filename().string().find(".copying-"), std::string::npos) << e.path();
}

TEST_F(Files, MalformedMoveAndCopyArgumentsFail) {
    writeFile(docs / "a.txt", "A");
    for (std::string bad : {std::string("not json"), std::string("[1,2]"), std::string(R"({"srcPath":"x"})"),
                            Value::dict({{"srcPath", (docs / "a.txt").string()}}).toJSON(),
                            Value::dict({{"srcPath", (docs / "a.txt").string()}, {"dstPath", 5}}).toJSON(),
                            Value::dict({{"srcPath", (docs / "missing").string()}, {"dstPath", (docs / "z").string()}})
                                .toJSON()}) {
        EXPECT_FALSE(MoveFile(bad)) << bad;
        EXPECT_FALSE(CopyFile(bad)) << bad;
    }
    EXPECT_FALSE(CopyFile(pair(docs / "a.txt", docs / "no-folder/a.txt"))) << "the destination folder must exist";
    EXPECT_TRUE(fs::exists(docs / "a.txt"));
}

TEST_F(Files, DeleteRemovesFilesAndWholeFolders) {
    fs::create_directories(docs / "tree/a/b");
    writeFile(docs / "tree/a/b/c", "c");
    EXPECT_TRUE(DeleteAtPath((docs / "tree").string()));
    EXPECT_FALSE(fs::exists(docs / "tree"));
    EXPECT_FALSE(DeleteAtPath((docs / "tree").string())) << "nothing there";
    // A link inside the container to a folder outside: refused, and the
    // folder outside is untouched.
    writeFile(outside / "keep", "k");
    fs::create_symlink(outside.path(), docs / "link");
    EXPECT_FALSE(DeleteAtPath((docs / "link").string()));
    EXPECT_TRUE(fs::exists(outside / "keep"));
}

}  // namespace
