// Every sample, read by our readers, is the tree its .expect.json describes.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "expect_tree.hpp"

using namespace orvex_test;

TEST(Samples, EveryDocumentReadsAsItsExpectedTree) {
    DIR *d = opendir(ORVEX_TEST_DATA);
    ASSERT_NE(d, nullptr);
    std::vector<std::string> names, documents;
    auto ends_with = [](const std::string &s, const std::string &end) {
        return s.size() > end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
    };
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (ends_with(name, ".expect.json"))
            names.push_back(name.substr(0, name.size() - 12));
        else if (ends_with(name, ".xml") || ends_with(name, ".bin"))
            documents.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    std::sort(documents.begin(), documents.end());
    // Every document has its tree, so none is left unread.
    EXPECT_EQ(names, documents);
    for (const std::string &name : names) {
        const bool xml = ends_with(name, ".xml");
        std::vector<char> bytes = read_file(data_path(name));
        ASSERT_FALSE(bytes.empty()) << name;
        orvex_t expect = load_expect_tree(data_path(name + ".expect.json"));
        ASSERT_NE(expect, nullptr) << name;
        orvex_t got = nullptr;
        orvex_format_t fmt = ORVEX_FORMAT_NONE;
        orvex_parse_result why{};
        orvex_parse(bytes.data(), bytes.size(), ORVEX_FORMAT_NONE, &got, &fmt, &why);
        EXPECT_EQ(fmt, xml ? ORVEX_FORMAT_XML : ORVEX_FORMAT_BINARY) << name;
        EXPECT_TRUE(got && orvex_equal(got, expect))
            << name << ": " << (got ? describe(got) : why.reason) << "\nexpected:\n"
            << describe(expect);
        orvex_free(got);
        orvex_free(expect);
    }
}
