/* The store's C interface in one program: read a property list in either
 * encoding, report why it was rejected if it was, and write it in the other.
 *
 *   c_convert <input> <output>
 */
#include <stdio.h>
#include <stdlib.h>

#include "orvex/orvex.h"

static char *slurp(const char *path, long *size) {
    FILE *f = fopen(path, "rb");
    char *buf = NULL;
    if (!f)
        return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (*size = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0 &&
        (buf = malloc((size_t)*size + 1)) != NULL && fread(buf, 1, (size_t)*size, f) != (size_t)*size) {
        free(buf);
        buf = NULL;
    }
    fclose(f);
    return buf;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <input> <output>\n", argv[0]);
        return 2;
    }
    long size = 0;
    char *in = slurp(argv[1], &size);
    if (!in) {
        perror(argv[1]);
        return 1;
    }
    orvex_t root = NULL;
    orvex_format_t found = ORVEX_FORMAT_NONE;
    orvex_parse_result res;
    orvex_parse(in, (uint64_t)size, ORVEX_FORMAT_NONE, &root, &found, &res);
    free(in);
    if (!root) {
        fprintf(stderr, "%s: rejected at byte %llu (line %u, column %u): %s\n", argv[1],
                (unsigned long long)res.offset, res.line, res.column, res.reason);
        return 1;
    }
    char *out = NULL;
    uint32_t len = 0;
    orvex_err_t err =
        found == ORVEX_FORMAT_XML ? orvex_to_bin(root, &out, &len) : orvex_to_xml(root, &out, &len);
    orvex_free(root);
    if (err != ORVEX_ERR_SUCCESS) {
        fprintf(stderr, "cannot encode: error %d\n", (int)err);
        return 1;
    }
    FILE *f = fopen(argv[2], "wb");
    int ok = f && fwrite(out, 1, len, f) == len;
    if (f && fclose(f) != 0)
        ok = 0;
    free(out);
    if (!ok) {
        perror(argv[2]);
        return 1;
    }
    printf("%s (%s) -> %s (%s), %u bytes\n", argv[1], found == ORVEX_FORMAT_XML ? "XML" : "binary", argv[2],
           found == ORVEX_FORMAT_XML ? "binary" : "XML", len);
    return 0;
}
