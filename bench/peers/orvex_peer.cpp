// Orvex through the store's C interface or the C++ object model on one
// document, in the protocol every peer follows (README.md):
//   orvex_peer store|model FILE REPS [write]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "orvex/orvex++.h"
#include "orvex/orvex.h"

namespace {

double cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

long status_bytes(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::atol(line.c_str() + std::strlen(field)) * 1024;
    return -1;
}

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "orvex_peer: %s\n", what);
    std::exit(1);
}

// Values in the tree, containers included, keys not.
size_t count_store(orvex_t node) {
    size_t n = 1;
    if (orvex_get_node_type(node) == ORVEX_ARRAY) {
        for (uint32_t i = 0, size = orvex_array_get_size(node); i < size; ++i)
            n += count_store(orvex_array_get_item(node, i));
    } else if (orvex_get_node_type(node) == ORVEX_DICT) {
        orvex_dict_iter it = nullptr;
        orvex_dict_new_iter(node, &it);
        for (orvex_t v = nullptr;;) {
            orvex_dict_next_item(node, it, nullptr, &v);
            if (!v)
                break;
            n += count_store(v);
        }
        std::free(it);
    }
    return n;
}

size_t count_model(const Orvex::Node *node) {
    size_t n = 1;
    if (auto *a = dynamic_cast<const Orvex::Array *>(node)) {
        for (auto it = a->Begin(); it != a->End(); ++it)
            n += count_model(*it);
    } else if (auto *d = dynamic_cast<const Orvex::Dictionary *>(node)) {
        for (auto it = d->Begin(); it != d->End(); ++it)
            n += count_model(it->second);
    }
    return n;
}

// Each peer keeps what it wrote until release(), so freeing stays off the clock.
struct Store {
    orvex_t root = nullptr;
    char *out = nullptr;
    void drop() { orvex_free(root), root = nullptr; }
    void parse(const std::vector<char> &in) {
        orvex_parse_result why;
        if (orvex_parse(in.data(), in.size(), ORVEX_FORMAT_NONE, &root, nullptr, &why) != ORVEX_ERR_SUCCESS)
            fail(why.reason);
    }
    size_t count() const { return count_store(root); }
    void write(bool xml) {
        uint32_t len = 0;
        if ((xml ? orvex_to_xml(root, &out, &len) : orvex_to_bin(root, &out, &len)) != ORVEX_ERR_SUCCESS)
            fail("cannot write");
    }
    void release() { std::free(out), out = nullptr; }
};

struct Model {
    Orvex::Structure *root = nullptr;
    std::string xml_out;
    std::vector<char> bin_out;
    void drop() { delete root, root = nullptr; }
    void parse(const std::vector<char> &in) {
        root = Orvex::Structure::FromMemory(in, nullptr);
        if (!root)
            fail("cannot parse");
    }
    size_t count() const { return count_model(root); }
    void write(bool xml) {
        if (xml)
            xml_out = root->ToXml();
        else
            bin_out = root->ToBin();
        if (xml ? xml_out.empty() : bin_out.empty())
            fail("cannot write");
    }
    void release() { std::string().swap(xml_out), std::vector<char>().swap(bin_out); }
};

template <class Peer> void run(const char *path, int reps, bool write) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::vector<char> in(f ? size_t(f.tellg()) : 0);
    if (!f.seekg(0) || !f.read(in.data(), std::streamsize(in.size())))
        fail("cannot read the document");
    Peer peer;
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak restarts here, input read
    long before = status_bytes("VmRSS:");
    double start = cpu_seconds();
    peer.parse(in);
    std::printf("first_parse %.6f\n", cpu_seconds() - start);
    std::printf("mem %ld\n", status_bytes("VmHWM:") - before);
    std::printf("nodes %zu\n", peer.count());
    for (int i = 0; i < reps; ++i) {
        peer.drop();
        start = cpu_seconds();
        peer.parse(in);
        std::printf("parse %.6f\n", cpu_seconds() - start);
    }
    for (bool xml : {true, false}) {
        for (int i = 0; write && i <= reps; ++i) {
            start = cpu_seconds();
            peer.write(xml);
            std::printf("%s%s %.6f\n", i ? "" : "first_", xml ? "write_xml" : "write_bin",
                        cpu_seconds() - start);
            peer.release();
        }
    }
    // The last tree is left to the end of the process: nothing is timed after it.
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4)
        fail("usage: orvex_peer store|model FILE REPS [write]");
    int reps = std::atoi(argv[3]);
    bool write = argc > 4 && std::string(argv[4]) == "write";
    if (std::string(argv[1]) == "model")
        run<Model>(argv[2], reps, write);
    else
        run<Store>(argv[2], reps, write);
    return 0;
}
