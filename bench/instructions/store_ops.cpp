// One operation through the store's C interface, N times, for instruction
// counts under callgrind (run.sh subtracts a run with N = 0):
//   store_ops FILE N read|xml|bin|json|openstep
// read: parse and free FILE; the others: write the tree parsed from FILE.
#include <orvex/orvex.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: store_ops FILE N read|xml|bin|json|openstep\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int n = std::atoi(argv[2]);
    const char *op = argv[3];
    orvex_t tree = nullptr;
    if (orvex_from_memory(doc.data(), uint32_t(doc.size()), &tree, nullptr) != ORVEX_ERR_SUCCESS) {
        std::fprintf(stderr, "store_ops: %s does not parse\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < n; ++i) {
        char *out = nullptr;
        uint32_t len = 0;
        if (!std::strcmp(op, "read")) {
            orvex_t t = nullptr;
            orvex_from_memory(doc.data(), uint32_t(doc.size()), &t, nullptr);
            orvex_free(t);
        } else if (!std::strcmp(op, "xml")) {
            orvex_to_xml(tree, &out, &len);
        } else if (!std::strcmp(op, "bin")) {
            orvex_to_bin(tree, &out, &len);
        } else if (!std::strcmp(op, "json")) {
            orvex_to_json(tree, &out, &len, ORVEX_JSON_LOSSY);
        } else {
            orvex_to_openstep(tree, &out, &len, ORVEX_OSTEP_TYPED);
        }
        std::free(out);
    }
    orvex_free(tree);
    return 0;
}
