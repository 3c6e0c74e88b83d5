/* The store's C interface in one program: read a property list in any of its
 * encodings (XML, binary, JSON, OpenStep text; detected), report why it was
 * rejected if it was, and write it as binary if it was XML, as XML otherwise.
 *
 *   c_convert <input> <output>
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include "orvex/orvex.h"

static const char *format_name(orvex_format_t format) {
    switch (format) {
    case ORVEX_FORMAT_XML:
        return "XML";
    case ORVEX_FORMAT_BINARY:
        return "binary";
    case ORVEX_FORMAT_JSON:
        return "JSON";
    case ORVEX_FORMAT_OSTEP:
        return "OpenStep";
    default:
        return "unknown";
    }
}

/* The whole file, or null with errno saying why (a directory reads as EISDIR). */
static char *slurp(const char *path, size_t *size) {
    FILE *f = fopen(path, "rb");
    if (!f)
        return NULL;
    char *buf = NULL;
    size_t cap = 0, n = 0;
    int err = 0;
    while (!err && !feof(f)) {
        if (n == cap) {
            size_t more = cap ? cap * 2 : 65536;
            char *grown = more > cap ? realloc(buf, more) : NULL;
            if (!grown) {
                err = ENOMEM;
                break;
            }
            buf = grown;
            cap = more;
        }
        errno = 0;
        n += fread(buf + n, 1, cap - n, f);
        if (ferror(f))
            err = errno ? errno : EIO;
    }
    fclose(f);
    if (err) {
        free(buf);
        errno = err;
        return NULL;
    }
    *size = n;
    return buf;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <input> <output>\n", argv[0]);
        return 2;
    }
    size_t size = 0;
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
        /* Binary documents have no lines: line 0. */
        if (res.line)
            fprintf(stderr, "%s: rejected at line %u, column %u: %s\n", argv[1], res.line, res.column,
                    res.reason);
        else
            fprintf(stderr, "%s: rejected at byte %llu: %s\n", argv[1], (unsigned long long)res.offset,
                    res.reason);
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
    printf("%s (%s) -> %s (%s), %u bytes\n", argv[1], format_name(found), argv[2],
           found == ORVEX_FORMAT_XML ? "binary" : "XML", len);
    return 0;
}
