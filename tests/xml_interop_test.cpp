// What our XML writer makes of every binary sample, Python's plistlib reads;
// written back by plistlib as binary, it is the sample's tree with dates in
// whole seconds (what XML keeps). Skipped without python3.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "expect_tree.hpp"

using namespace orvex_test;

namespace {

// plistlib leaves {CF$UID: n} in XML a dictionary: make it the UID it stands for.
const char SCRIPT[] = R"(import plistlib, sys
def uids(v):
    if isinstance(v, dict):
        if len(v) == 1 and isinstance(v.get("CF$UID"), int):
            return plistlib.UID(v["CF$UID"])
        return {k: uids(x) for k, x in v.items()}
    if isinstance(v, list):
        return [uids(x) for x in v]
    return v
bad = 0
for path in sys.argv[1:]:
    try:
        with open(path, "rb") as f:
            value = uids(plistlib.load(f))
        with open(path + ".bin", "wb") as f:
            plistlib.dump(value, f, fmt=plistlib.FMT_BINARY, sort_keys=False)
    except Exception as e:
        print("%s: %r" % (path, e))
        bad += 1
sys.exit(1 if bad else 0)
)";

bool write_file(const std::string &path, const char *p, size_t n) {
    std::ofstream f(path, std::ios::binary);
    f.write(p, static_cast<std::streamsize>(n));
    return bool(f);
}

} // namespace

TEST(XmlInterop, PlistlibReadsOurXmlOfEveryBinarySample) {
    if (std::system("python3 -c 'import plistlib' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with plistlib not found: interoperability not checked";
    char dir_buf[] = "/tmp/orvex-interop-XXXXXX";
    const char *dir = mkdtemp(dir_buf);
    ASSERT_NE(dir, nullptr);
    std::vector<std::string> names, made;
    DIR *d = opendir(ORVEX_TEST_DATA);
    ASSERT_NE(d, nullptr);
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".bin") == 0)
            names.push_back(n.substr(0, n.size() - 4));
    }
    closedir(d);
    ASSERT_GE(names.size(), 14u);

    std::string script = std::string(dir) + "/load.py", cmd = "python3 " + script;
    ASSERT_TRUE(write_file(script, SCRIPT, sizeof SCRIPT - 1));
    made.push_back(script);
    for (const std::string &n : names) {
        std::vector<char> bin = read_file(data_path(n + ".bin"));
        orvex_t tree = nullptr;
        ASSERT_EQ(orvex_from_bin(bin.data(), uint32_t(bin.size()), &tree), ORVEX_ERR_SUCCESS) << n;
        char *xml = nullptr;
        uint32_t len = 0;
        ASSERT_EQ(orvex_to_xml(tree, &xml, &len), ORVEX_ERR_SUCCESS) << n;
        orvex_free(tree);
        std::string path = std::string(dir) + "/" + n + ".xml";
        ASSERT_TRUE(write_file(path, xml, len)) << path;
        std::free(xml);
        made.push_back(path);
        cmd += " " + path;
    }

    std::string out;
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512];
    while (size_t k = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, k);
    EXPECT_EQ(pclose(p), 0) << "plistlib refused:\n" << out;

    for (const std::string &n : names) {
        std::string back_path = std::string(dir) + "/" + n + ".xml.bin";
        std::vector<char> back = read_file(back_path);
        if (back.empty())
            continue; // refused above
        made.push_back(back_path);
        orvex_t expect = load_expect_tree(data_path(n + ".bin.expect.json"));
        orvex_t want = in_whole_seconds(expect), got = nullptr;
        orvex_from_bin(back.data(), uint32_t(back.size()), &got);
        EXPECT_TRUE(got && orvex_equal(got, want)) << n << " as plistlib read it:\n"
                                                   << (got ? describe(got) : "(unreadable)");
        orvex_free(got);
        orvex_free(want);
        orvex_free(expect);
    }
    for (const std::string &f : made)
        std::remove(f.c_str());
    rmdir(dir);
}
