// Replays inputs through a fuzz target without libFuzzer, so the targets
// build with any compiler and CI can run the corpus as an ordinary test.
// Arguments are files or directories (read one level deep); each input runs
// once. A crash or sanitizer report fails the process.
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool run_file(const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    // A fresh allocation of the exact size, so reads past the end are caught.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return true;
}

} // namespace

int main(int argc, char **argv) {
    size_t runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            ok = false;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            ok = run_file(argv[i]) && ok;
            ++runs;
            continue;
        }
        DIR *d = opendir(argv[i]);
        if (!d) {
            ok = false;
            continue;
        }
        while (dirent *e = readdir(d)) {
            std::string path = std::string(argv[i]) + "/" + e->d_name;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                ok = run_file(path) && ok;
                ++runs;
            }
        }
        closedir(d);
    }
    std::printf("%zu inputs replayed\n", runs);
    return ok ? 0 : 1;
}
