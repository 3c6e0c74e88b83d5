// One operation through the C++ classes, N times, for instruction counts
// under callgrind (run.sh subtracts a run with N = 0):
//   model_ops FILE N read|xml|bin
// read: FromMemory and delete; the others: ToXml or ToBin of the parsed tree.
#include <orvex/orvex++.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: model_ops FILE N read|xml|bin\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int n = std::atoi(argv[2]);
    const char *op = argv[3];
    std::unique_ptr<Orvex::Structure> tree(Orvex::Structure::FromMemory(doc, nullptr));
    if (!tree) {
        std::fprintf(stderr, "model_ops: %s does not parse\n", argv[1]);
        return 1;
    }
    for (int i = 0; i < n; ++i) {
        if (!std::strcmp(op, "read"))
            delete Orvex::Structure::FromMemory(doc, nullptr);
        else if (!std::strcmp(op, "xml"))
            (void)tree->ToXml();
        else
            (void)tree->ToBin();
    }
    return 0;
}
