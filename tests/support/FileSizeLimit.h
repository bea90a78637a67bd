#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

// While it lives, the kernel refuses to grow any file of this process past
// `bytes`, root or not: a disk that fills up, without a disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = bytes;
        signal(SIGXFSZ, SIG_IGN);
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old{};
};
