// Every sample's expected tree loads; guards the test support itself.
#include <gtest/gtest.h>

#include <dirent.h>

#include "expect_tree.hpp"

using namespace orvex_test;

TEST(ExpectTrees, EverySampleTreeLoadsAndEqualsItself) {
    DIR *d = opendir(ORVEX_TEST_DATA);
    ASSERT_NE(d, nullptr);
    int count = 0;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 12 || name.compare(name.size() - 12, 12, ".expect.json") != 0)
            continue;
        orvex_t a = load_expect_tree(data_path(name));
        orvex_t b = load_expect_tree(data_path(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_TRUE(orvex_equal(a, b)) << name;
        orvex_free(a);
        orvex_free(b);
        ++count;
    }
    closedir(d);
    EXPECT_EQ(count, 29);
}
