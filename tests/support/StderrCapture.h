#pragma once
// Sends standard error to a file for the object's life.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"

namespace testsupport {

class StderrCapture {
public:
    StderrCapture() : dir_("korvel-stderr") {
        path_ = dir_.path() / "stderr.txt";
        fflush(stderr);
        saved_ = dup(2);
        int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrCapture() { restore(); }
    void restore() {
        if (saved_ < 0) return;
        fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    std::string text() const { return readFile(path_); }

private:
    TempDir dir_;
    fs::path path_;
    int saved_ = -1;
};

}  // namespace testsupport
