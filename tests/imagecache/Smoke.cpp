#include <gtest/gtest.h>
#include "imagecache/ZVCache.h"
TEST(Smoke, Builds) { EXPECT_TRUE(ZVCache::initWithName("x") != nullptr); }
