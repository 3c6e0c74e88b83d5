// Documents read from and written to files: the bound on reads, errno on
// failures, and writes that keep what the file was (mode, owner, links) and
// leave neither a half-written target nor a temporary file; the C++ ReadFile
// and WriteFile over them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "orvex/orvex++.h"

namespace {

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/orvex-files-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { std::system(("chmod -R u+w " + dir_ + " && rm -rf " + dir_).c_str()); }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    void put(const std::string &name, const std::string &bytes) const {
        std::ofstream(path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::string get(const std::string &name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The folder's names, sorted: no temporary file among them.
    std::string listing() const {
        std::vector<std::string> names;
        DIR *d = opendir(dir_.c_str());
        while (dirent *e = d ? readdir(d) : nullptr)
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        if (d)
            closedir(d);
        std::sort(names.begin(), names.end());
        std::string all;
        for (const std::string &n : names)
            all += n + " ";
        return all;
    }

    std::string dir_;
};

const std::string DOC = "<plist><dict><key>a</key><integer>1</integer></dict></plist>";

TEST_F(Files, ReadsBytesOrSaysWhyNot) {
    put("doc.xml", DOC);
    put("empty", "");
    mkdir(path("folder").c_str(), 0755);
    // A sparse file one byte past the bound: refused from its size.
    ASSERT_EQ(truncate((put("big", ""), path("big")).c_str(), off_t(1) << 32), 0);
    const struct {
        std::string name;
        orvex_err_t code;
        int err; // errno for ORVEX_ERR_IO
        std::string bytes;
    } rows[] = {
        {"doc.xml", ORVEX_ERR_SUCCESS, 0, DOC},   {"empty", ORVEX_ERR_SUCCESS, 0, ""},
        {"missing", ORVEX_ERR_IO, ENOENT, ""},    {"folder", ORVEX_ERR_IO, EISDIR, ""},
        {"doc.xml/x", ORVEX_ERR_IO, ENOTDIR, ""}, {"big", ORVEX_ERR_LIMIT, 0, ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        char *data = reinterpret_cast<char *>(1);
        uint64_t length = 9;
        errno = 0;
        EXPECT_EQ(orvex_read_file_bytes(path(r.name).c_str(), &data, &length), r.code);
        if (r.code == ORVEX_ERR_IO) {
            EXPECT_EQ(errno, r.err);
        }
        if (r.code != ORVEX_ERR_SUCCESS) {
            EXPECT_TRUE(data == nullptr && length == 0);
        } else {
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(std::string(data, length), r.bytes);
            EXPECT_EQ(data[length], '\0');
        }
        std::free(data);

        // Parsed, the failure reaches the result.
        orvex_t root = reinterpret_cast<orvex_t>(1);
        orvex_parse_result result{};
        errno = 0;
        const orvex_err_t code =
            orvex_read_file(path(r.name).c_str(), ORVEX_FORMAT_NONE, &root, nullptr, &result);
        if (r.code == ORVEX_ERR_SUCCESS) {
            EXPECT_EQ(code, r.bytes.empty() ? ORVEX_ERR_PARSE : ORVEX_ERR_SUCCESS);
        } else {
            EXPECT_EQ(code, r.code);
            EXPECT_EQ(result.code, r.code);
            EXPECT_EQ(result.cause, r.code == ORVEX_ERR_LIMIT ? ORVEX_REASON_TOO_LONG : ORVEX_REASON_NONE);
            if (r.code == ORVEX_ERR_IO) {
                EXPECT_EQ(errno, r.err);
            }
            EXPECT_EQ(root, nullptr);
        }
        orvex_free(root);
    }
}

// A pipe has no size: read in growing chunks, here past the first one.
TEST_F(Files, ReadsAStreamToItsEnd) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string big = "(";
    while (big.size() < 300000)
        big += "item, ";
    big += "last)";
    std::thread writer([&] {
        for (size_t at = 0; at < big.size();) {
            const ssize_t n = write(fds[1], big.data() + at, big.size() - at);
            if (n <= 0)
                break;
            at += size_t(n);
        }
        close(fds[1]);
    });
    orvex_t root = nullptr;
    orvex_format_t found = ORVEX_FORMAT_NONE;
    const std::string name = "/dev/fd/" + std::to_string(fds[0]);
    EXPECT_EQ(orvex_read_file(name.c_str(), ORVEX_FORMAT_NONE, &root, &found, nullptr), ORVEX_ERR_SUCCESS);
    writer.join();
    close(fds[0]);
    EXPECT_EQ(found, ORVEX_FORMAT_OSTEP);
    EXPECT_EQ(orvex_array_get_size(root), 50001u);
    orvex_free(root);
}

struct stat stat_of(const std::string &p) {
    struct stat st {};
    EXPECT_EQ(stat(p.c_str(), &st), 0) << p;
    return st;
}

TEST_F(Files, WritesKeepModeOwnerAndLinks) {
    orvex_t tree = orvex_new_dict();
    orvex_dict_set_item(tree, "b", orvex_new_int(2));
    orvex_dict_set_item(tree, "a", orvex_new_bool(1));
    char *want = nullptr;
    uint64_t want_length = 0;
    ASSERT_EQ(orvex_write(tree, ORVEX_FORMAT_BINARY, ORVEX_WRITE_SORTED, &want, &want_length),
              ORVEX_ERR_SUCCESS);
    const std::string expected(want, want_length);
    std::free(want);

    // A new file: the mode the umask gives.
    const mode_t mask = umask(022);
    ASSERT_EQ(orvex_write_file(tree, path("new").c_str(), ORVEX_FORMAT_BINARY, ORVEX_WRITE_SORTED),
              ORVEX_ERR_SUCCESS);
    EXPECT_EQ(get("new"), expected);
    EXPECT_EQ(stat_of(path("new")).st_mode & 07777, 0644u);
    umask(mask);
    // An existing one keeps its mode (and, as root, its owner and group).
    put("kept", "old");
    chmod(path("kept").c_str(), 0604);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path("kept").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(orvex_write_file_bytes(path("kept").c_str(), expected.data(), expected.size()),
              ORVEX_ERR_SUCCESS);
    EXPECT_EQ(get("kept"), expected);
    const struct stat kept = stat_of(path("kept"));
    EXPECT_EQ(kept.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_TRUE(kept.st_uid == 65534 && kept.st_gid == 65534);
    }
    // A symbolic link stays a link, its target replaced.
    ASSERT_EQ(symlink("kept", path("link").c_str()), 0);
    ASSERT_EQ(orvex_write_file_bytes(path("link").c_str(), "via link", 8), ORVEX_ERR_SUCCESS);
    struct stat l {};
    ASSERT_EQ(lstat(path("link").c_str(), &l), 0);
    EXPECT_TRUE(S_ISLNK(l.st_mode));
    EXPECT_EQ(get("kept"), "via link");
    // Hard links stay one file.
    ASSERT_EQ(link(path("kept").c_str(), path("hard").c_str()), 0);
    ASSERT_EQ(orvex_write_file_bytes(path("hard").c_str(), "both", 4), ORVEX_ERR_SUCCESS);
    EXPECT_EQ(get("kept"), "both");
    EXPECT_EQ(stat_of(path("hard")).st_nlink, 2u);
    EXPECT_EQ(listing(), "hard kept link new ");
    orvex_free(tree);
}

TEST_F(Files, RefusedWritesChangeNothingAndLeaveNoTemporaryFile) {
    put("doc", "old");
    mkdir(path("folder").c_str(), 0755);
    orvex_t uid = orvex_new_uid(1);
    errno = 0;
    EXPECT_EQ(orvex_write_file(uid, path("doc").c_str(), ORVEX_FORMAT_JSON, 0), ORVEX_ERR_FORMAT);
    EXPECT_EQ(orvex_write_file(uid, path("doc").c_str(), ORVEX_FORMAT_XML, 1u << 20), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(orvex_write_file_bytes(nullptr, "x", 1), ORVEX_ERR_INVALID_ARG);
    EXPECT_EQ(orvex_write_file_bytes(path("doc").c_str(), nullptr, 1), ORVEX_ERR_INVALID_ARG);
    const struct {
        std::string name;
        int err;
    } io[] = {{"folder", EISDIR}, {"nofolder/doc", ENOENT}, {"doc/x", ENOTDIR}};
    for (const auto &r : io) {
        errno = 0;
        EXPECT_EQ(orvex_write_file(uid, path(r.name).c_str(), ORVEX_FORMAT_BINARY, 0), ORVEX_ERR_IO)
            << r.name;
        EXPECT_EQ(errno, r.err) << r.name;
    }
    // Permissions hold for a user only.
    if (geteuid() != 0) {
        chmod(path("doc").c_str(), 0444);
        errno = 0;
        EXPECT_EQ(orvex_write_file(uid, path("doc").c_str(), ORVEX_FORMAT_BINARY, 0), ORVEX_ERR_IO);
        EXPECT_EQ(errno, EACCES);
        chmod(path("doc").c_str(), 0644);
        put("folder/in", "old");
        chmod(path("folder").c_str(), 0555);
        errno = 0;
        EXPECT_EQ(orvex_write_file(uid, path("folder/in").c_str(), ORVEX_FORMAT_BINARY, 0), ORVEX_ERR_IO);
        EXPECT_EQ(errno, EACCES);
        EXPECT_EQ(get("folder/in"), "old");
        chmod(path("folder").c_str(), 0755);
    }
    EXPECT_EQ(get("doc"), "old");
    EXPECT_EQ(listing(), "doc folder ");
    orvex_free(uid);
}

TEST_F(Files, CxxReadFileAndWriteFile) {
    Orvex::Real r(2.5);
    ASSERT_EQ(Orvex::WriteFile(r, path("r.plist"), ORVEX_FORMAT_XML), ORVEX_ERR_SUCCESS);
    orvex_format_t format = ORVEX_FORMAT_NONE;
    orvex_parse_result why{};
    std::unique_ptr<Orvex::Node> back = Orvex::ReadFile(path("r.plist"), &why, &format);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(format, ORVEX_FORMAT_XML);
    EXPECT_TRUE(orvex_equal(back->GetOrvex(), r.GetOrvex()));

    put("bad.xml", "<plist>\n<foo/></plist>");
    EXPECT_EQ(Orvex::ReadFile(path("bad.xml"), &why), nullptr);
    EXPECT_EQ(why.code, ORVEX_ERR_PARSE);
    EXPECT_EQ(why.line, 2u);
    errno = 0;
    EXPECT_EQ(Orvex::ReadFile(path("missing"), &why), nullptr);
    EXPECT_EQ(why.code, ORVEX_ERR_IO);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(Orvex::WriteFile(Orvex::Uid(uint64_t(1)), path("u.json"), ORVEX_FORMAT_JSON), ORVEX_ERR_FORMAT);
    EXPECT_EQ(listing(), "bad.xml r.plist ");
}

} // namespace
