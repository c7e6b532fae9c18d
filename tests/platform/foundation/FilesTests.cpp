#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>


#include "platform/foundation/AppHome.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Folder.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempDir;
namespace fs = std::filesystem;

int entriesIn(const fs::path& dir) {
    int count = 0;
    for (auto& e : fs::directory_iterator(dir)) { (void)e; ++count; }
    return count;
}

TEST(Confine, AcceptsInsidePathsAndRefusesEscapes) {
    TempDir base;
    fs::create_directories(base / "Data/img");
    testsupport::writeFile(base / "Data/img/a.png", "x");
    testsupport::writeFile(base / "secret.txt", "s");
    fs::path data = base / "Data";

    auto ok = files::confine(data, "/img/a.png");
    ASSERT_TRUE(ok);
    EXPECT_TRUE(files::isRegularFile(*ok));
    EXPECT_TRUE(files::confine(data, "img/not-yet-there.png"));  // need not exist

    EXPECT_FALSE(files::confine(data, "../secret.txt"));
    EXPECT_FALSE(files::confine(data, "/img/../../secret.txt"));
    EXPECT_FALSE(files::confine(data, std::string("img/a.png\0x", 11)));

    // A symlink inside that points outside is refused, also for paths below it.
    fs::create_directory_symlink(base.path(), data / "escape");
    EXPECT_FALSE(files::confine(data, "escape/secret.txt"));
    EXPECT_FALSE(files::confine(data, "escape"));
    // A symlink that stays inside is fine.
    fs::create_symlink(data / "img/a.png", data / "alias.png");
    EXPECT_TRUE(files::confine(data, "alias.png"));
}

TEST(Confine, DanglingAndLoopingLinksAreResolvedToWhereTheyLead) {
    // A dangling link stopped the resolution, so a path through it counted
    // as inside, and a write would have created its target outside.
    TempDir base;
    fs::path data = base / "Data";
    fs::create_directories(data / "img");
    fs::create_symlink(base / "made-outside", data / "dangling");
    fs::create_symlink(base / "gone/deeper", data / "dangling-dir");
    fs::create_symlink("../../made-outside", data / "img/relative");
    fs::create_symlink(data / "img/later.png", data / "dangling-in");
    fs::create_symlink(data / "loop-b", data / "loop-a");
    fs::create_symlink(data / "loop-a", data / "loop-b");
    for (const char* out : {"dangling", "dangling-dir/x.png", "img/relative", "loop-a", "loop-b/x"})
        EXPECT_FALSE(files::confine(data, out)) << out;
    EXPECT_TRUE(files::confine(data, "dangling-in")) << "a dangling link that stays inside is fine";
    EXPECT_EQ(files::resolveAll(data / "img/relative"), base.path() / "made-outside");
    EXPECT_FALSE(files::resolveAll(data / "loop-a"));
    EXPECT_FALSE(fs::exists(base / "made-outside"));
}

TEST(Folder, NoLinkIsFollowedBelowTheFolderEvenOneSwappedInAfterACheck) {
    for (bool stepwise : {false, true}) {
        files::Folder::forceStepwiseWalk(stepwise);
        TempDir base, outside;
        fs::create_directories(base / "saves/deep");
        testsupport::writeFile(outside / "secret", "s");
        auto folder = files::Folder::open(base.path());
        ASSERT_TRUE(folder);
        ASSERT_TRUE(folder->walkable("saves/deep/new.png"));
        ASSERT_TRUE(folder->write("saves/deep/new.png", "png"));
        EXPECT_EQ(testsupport::readFile(base / "saves/deep/new.png"), "png");

        // Another process swaps the checked folder for a link out.
        fs::rename(base / "saves", base / "saves-old");
        fs::create_directory_symlink(outside.path(), base / "saves");
        EXPECT_FALSE(folder->walkable("saves/deep/x"));
        EXPECT_FALSE(folder->write("saves/thumb.png", "x"));
        EXPECT_FALSE(folder->read("saves/secret"));
        EXPECT_FALSE(folder->makeFolders("saves/made"));
        EXPECT_FALSE(folder->list("saves"));
        EXPECT_FALSE(folder->removeAll("saves/secret"));
        EXPECT_FALSE(folder->copyNoReplace("saves/secret", *folder, "copied"));
        EXPECT_FALSE(folder->moveNoReplace("saves-old", *folder, "saves/moved"));
        // A final link is one too, for reading; removing it removes the link.
        fs::create_symlink(outside / "secret", base / "link");
        EXPECT_FALSE(folder->read("link"));
        EXPECT_EQ(folder->status("link")->st_mode & S_IFMT, mode_t(S_IFLNK));
        EXPECT_FALSE(folder->read("../" + outside.path().filename().string() + "/secret"));
        EXPECT_FALSE(folder->read(outside / "secret"));
        EXPECT_TRUE(folder->removeAll("saves"));
        EXPECT_EQ(entriesIn(outside.path()), 1) << "stepwise: " << stepwise;
        EXPECT_EQ(testsupport::readFile(outside / "secret"), "s");
        EXPECT_FALSE(fs::exists(base / "saves"));
    }
    files::Folder::forceStepwiseWalk(false);
}

TEST(Folder, CopiesAndMovesNeverReplaceAndWritesHonourTheFaultSeam) {
    TempDir base;
    auto folder = files::Folder::open(base.path());
    ASSERT_TRUE(folder);
    ASSERT_TRUE(folder->makeFolders("a/b"));
    struct stat st {};
    ASSERT_EQ(::stat((base / "a/b").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_TRUE(folder->write("a/b/f", "one"));
    fs::create_symlink("f", base / "a/b/l");
    ASSERT_TRUE(folder->copyNoReplace("a", *folder, "c"));
    EXPECT_EQ(testsupport::readFile(base / "c/b/f"), "one");
    EXPECT_EQ(fs::read_symlink(base / "c/b/l"), "f") << "a link is copied as a link";
    EXPECT_FALSE(folder->copyNoReplace("a", *folder, "c"));
    EXPECT_FALSE(folder->moveNoReplace("a/b/f", *folder, "c/b/f"));
    ASSERT_TRUE(folder->moveNoReplace("a/b/f", *folder, "moved"));
    EXPECT_EQ(testsupport::readFile(base / "moved"), "one");
    EXPECT_EQ(entriesIn(base.path()), 3) << "no private names left behind";

    files::WriteFault fault(base / "moved", files::WriteStep::rename);
    Error error;
    EXPECT_FALSE(folder->write("moved", "two", &error));
    EXPECT_EQ(error.code, ENOSPC);
    EXPECT_EQ(testsupport::readFile(base / "moved"), "one");
}

TEST(Confine, PrefixSiblingIsNotInside) {
    TempDir base;
    fs::create_directories(base / "Data");
    fs::create_directories(base / "DataEvil");
    EXPECT_FALSE(files::isInside(base / "Data", base / "DataEvil/x"));
    EXPECT_TRUE(files::isInside(base / "Data", base / "Data/x"));
}

TEST(AtomicWrite, ReplacesWholeAndLeavesNoTemporaries) {
    TempDir dir;
    fs::path target = dir / "sub/file.bin";
    ASSERT_TRUE(files::writeAtomically(target, std::string_view("first")));
    ASSERT_TRUE(files::writeAtomically(target, std::string_view("second, longer")));
    EXPECT_EQ(*files::readText(target), "second, longer");
    EXPECT_EQ(entriesIn(dir / "sub"), 1);
}

TEST(AtomicWrite, FailureReportsAndLeavesNoTemporary) {
    TempDir dir;
    fs::create_directories(dir / "target/inner");  // a folder cannot be replaced by a file
    Error err;
    EXPECT_FALSE(files::writeAtomically(dir / "target", std::string_view("new"), &err));
    EXPECT_EQ(err.domain, NSPOSIXErrorDomain);
    EXPECT_TRUE(files::isDirectory(dir / "target/inner"));
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(AtomicWrite, InjectedFaultAtEachStepKeepsTheOldFile) {
    for (auto step : {files::WriteStep::create, files::WriteStep::write, files::WriteStep::sync,
                      files::WriteStep::rename}) {
        SCOPED_TRACE(int(step));
        TempDir dir;
        fs::path target = dir / "file.txt";
        ASSERT_TRUE(files::writeAtomically(target, std::string_view("old")));
        files::WriteFault fault(step, EIO);
        Error err;
        EXPECT_FALSE(files::writeAtomically(target, std::string_view("new content"), &err));
        EXPECT_EQ(err.code, EIO);
        EXPECT_EQ(*files::readText(target), "old");
        EXPECT_EQ(entriesIn(dir.path()), 1);
        // A one-time fault is used up by the first write.
        EXPECT_TRUE(files::writeAtomically(target, std::string_view("newer")));
        EXPECT_EQ(fault.hits(), 1);
    }
}

TEST(AtomicWrite, PathFaultHitsThatPathAndWhatLiesBelowUntilItEnds) {
    TempDir dir;
    {
        files::WriteFault fault(dir / "locked", files::WriteStep::rename);
        EXPECT_FALSE(files::writeAtomically(dir / "locked/a", std::string_view("1")));
        EXPECT_FALSE(files::writeAtomically(dir / "locked/./b/c", std::string_view("2")));
        EXPECT_TRUE(files::writeAtomically(dir / "lockedness", std::string_view("3")));
        EXPECT_EQ(fault.hits(), 2);
    }
    EXPECT_TRUE(files::writeAtomically(dir / "locked/a", std::string_view("4")));
}

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Whatever the umask: none, the usual one, one that would take the owner's bits.
TEST(PrivateModes, WhatTheProgramMakesIsTheOwnersAloneWhateverTheUmask) {
    for (mode_t mask : {0000, 0022, 0277}) {
        SCOPED_TRACE(mask);
        TempDir dir;
        mode_t previous = ::umask(mask);
        ASSERT_TRUE(files::createDirectories(dir / "a/b/c"));
        ASSERT_TRUE(files::writeAtomically(dir / "x/y/file", std::string_view("bytes")));
        ASSERT_TRUE(files::ensurePrivateFile(dir / "a/store.sqlite"));
        testsupport::writeFile(dir / "a/b/c/loose", "l");
        ::chmod((dir / "a/b/c/loose").c_str(), 0666);
        testsupport::writeFile(dir / "outside", "o");
        ::chmod((dir / "outside").c_str(), 0644);
        fs::create_symlink(dir / "outside", dir / "a/link");
        ASSERT_TRUE(files::makePrivate(dir / "a"));
        ::umask(previous);
        for (auto folder : {"a", "a/b", "a/b/c", "x", "x/y"}) EXPECT_EQ(modeOf(dir / folder), 0700u) << folder;
        for (auto file : {"x/y/file", "a/store.sqlite", "a/b/c/loose"}) EXPECT_EQ(modeOf(dir / file), 0600u) << file;
        EXPECT_EQ(modeOf(dir / "outside"), 0644u);  // a link's target is left alone
    }
}

TEST(PrivateModes, TheHomeIsTightenedAndFoldersThatExistKeepTheirModes) {
    TempDir dir;
    fs::create_directories(dir / "home");
    ::chmod((dir / "home").c_str(), 0755);
    ::chmod(dir.path().c_str(), 0755);
    testsupport::TempHome restore;
    AppHome::setRoot(dir / "home");
    AppHome::caches();
    EXPECT_EQ(modeOf(dir / "home"), 0700u);
    EXPECT_EQ(modeOf(dir / "home/Library/Caches"), 0700u);
    EXPECT_EQ(modeOf(dir.path()), 0755u);  // not ours
}

TEST(ReadData, RefusesFoldersAndMissingFiles) {
    TempDir dir;
    EXPECT_FALSE(files::readData(dir.path()));
    EXPECT_FALSE(files::readData(dir / "missing"));
}

TEST(RenameNoReplace, RefusesAnExistingTargetAndMovesOtherwise) {
    TempDir dir;
    testsupport::writeFile(dir / "a", "A");
    testsupport::writeFile(dir / "b", "B");
    Error e;
    EXPECT_FALSE(files::renameNoReplace(dir / "a", dir / "b", &e));
    EXPECT_EQ(e.code, EEXIST);
    EXPECT_EQ(testsupport::readFile(dir / "b"), "B");
    EXPECT_TRUE(files::renameNoReplace(dir / "a", dir / "c"));
    EXPECT_EQ(testsupport::readFile(dir / "c"), "A");
    EXPECT_FALSE(fs::exists(dir / "a"));
}

}  // namespace
