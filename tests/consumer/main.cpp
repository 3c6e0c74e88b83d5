// Builds a document with the C++ classes, reads it back through the C interface,
// and prints the version so the caller can compare it with pkg-config's.
#include <orvex/orvex++.h>
#include <orvex/orvex.h>

#include <cstdio>
#include <cstring>

// The numeric version answers #if in the installed headers (0.2.0 brought it).
#if ORVEX_VERSION_NUMBER < 200
#error ORVEX_VERSION_NUMBER below 0.2.0
#endif

int main() {
    char number[32];
    std::snprintf(number, sizeof number, "%d.%d.%d", ORVEX_VERSION_NUMBER / 10000,
                  ORVEX_VERSION_NUMBER / 100 % 100, ORVEX_VERSION_NUMBER % 100);
    if (std::strcmp(number, orvex_version()) != 0)
        return std::fprintf(stderr, "library %s, ORVEX_VERSION_NUMBER %d\n", orvex_version(),
                            ORVEX_VERSION_NUMBER),
               1;
    if (std::strcmp(orvex_version(), ORVEX_VERSION_STRING) != 0)
        return std::fprintf(stderr, "library %s, headers %s\n", orvex_version(), ORVEX_VERSION_STRING), 1;
#ifdef ORVEX_PACKAGE_VERSION
    if (std::strcmp(ORVEX_PACKAGE_VERSION, ORVEX_VERSION_STRING) != 0)
        return std::fprintf(stderr, "package %s, headers %s\n", ORVEX_PACKAGE_VERSION, ORVEX_VERSION_STRING),
               1;
#endif
    Orvex::Dictionary doc;
    doc.Set("name", Orvex::String("consumer"));
    std::vector<char> bin = doc.ToBin();

    orvex_t root = nullptr;
    if (orvex_from_bin(bin.data(), uint32_t(bin.size()), &root) != ORVEX_ERR_SUCCESS)
        return std::fprintf(stderr, "binary document not read back\n"), 1;
    uint64_t len = 0;
    const char *name = orvex_get_string_ptr(orvex_dict_get_item(root, "name"), &len);
    bool ok = name && len == 8 && std::memcmp(name, "consumer", 8) == 0;
    orvex_free(root);
    if (!ok)
        return std::fprintf(stderr, "wrong value read back\n"), 1;
    std::printf("%s\n", orvex_version());
    return 0;
}
