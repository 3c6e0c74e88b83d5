// A tour of the object model: parse a property list, walk it with the typed
// classes, change a value, add a nested container, write XML and binary.
//
//   model_tour <document> [output.bin]
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orvex/orvex++.h"

using namespace Orvex;

// Reads the whole file: 0, or the errno value saying why not (a directory gives EISDIR).
static int read_file(const char *path, std::vector<char> &bytes) {
    std::FILE *f = std::fopen(path, "rb");
    if (!f)
        return errno;
    char chunk[65536];
    size_t n;
    errno = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const int err = std::ferror(f) ? (errno ? errno : EIO) : 0;
    std::fclose(f);
    return err;
}

// Writes the whole file: 0, or the errno value saying why not.
static int write_file(const char *path, const std::vector<char> &bytes) {
    std::FILE *f = std::fopen(path, "wb");
    if (!f)
        return errno;
    int err = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() ? 0 : (errno ? errno : EIO);
    if (std::fclose(f) != 0 && !err)
        err = errno;
    return err;
}

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

static void print(const Node *node, int depth);

static void print_children(const Node *node, int depth) {
    if (const Array *a = dynamic_cast<const Array *>(node)) {
        for (const Node *item : *a)
            print(item, depth);
    } else if (const Dictionary *d = dynamic_cast<const Dictionary *>(node)) {
        for (const auto &entry : *d) {
            std::printf("%*s%s:\n", depth * 2, "", entry.first.c_str());
            print(entry.second, depth + 1);
        }
    }
}

static void print(const Node *node, int depth) {
    const int pad = depth * 2;
    if (!node) {
        std::printf("%*s(null)\n", pad, "");
        return;
    }
    switch (node->GetType()) {
    case ORVEX_BOOLEAN:
        std::printf("%*s%s\n", pad, "", static_cast<const Boolean *>(node)->GetValue() ? "true" : "false");
        break;
    case ORVEX_INT: {
        const Integer *i = static_cast<const Integer *>(node);
        if (i->isNegative())
            std::printf("%*s%" PRId64 "\n", pad, "", i->GetValue());
        else
            std::printf("%*s%" PRIu64 "\n", pad, "", i->GetUnsignedValue());
        break;
    }
    case ORVEX_REAL:
        std::printf("%*s%g\n", pad, "", static_cast<const Real *>(node)->GetValue());
        break;
    case ORVEX_STRING:
        std::printf("%*s\"%s\"\n", pad, "", static_cast<const String *>(node)->GetValue().c_str());
        break;
    case ORVEX_DATE:
        std::printf("%*sdate %" PRId64 "\n", pad, "", static_cast<const Date *>(node)->GetValue());
        break;
    case ORVEX_DATA:
        std::printf("%*s<%zu bytes>\n", pad, "", static_cast<const Data *>(node)->GetValue().size());
        break;
    case ORVEX_UID:
        std::printf("%*suid %" PRIu64 "\n", pad, "", static_cast<const Uid *>(node)->GetValue());
        break;
    case ORVEX_ARRAY:
        std::printf("%*s[\n", pad, "");
        print_children(node, depth + 1);
        std::printf("%*s]\n", pad, "");
        break;
    case ORVEX_DICT:
        std::printf("%*s{\n", pad, "");
        print_children(node, depth + 1);
        std::printf("%*s}\n", pad, "");
        break;
    default:
        std::printf("%*s?\n", pad, "");
        break;
    }
}

// Adds one to the first integer found, depth first.
static bool bump_first_integer(Node *node) {
    if (Integer *i = dynamic_cast<Integer *>(node)) {
        // Read as the sign says, so that adding one cannot overflow a signed value.
        if (i->isNegative())
            i->SetValue(i->GetValue() + 1);
        else
            i->SetValue(i->GetUnsignedValue() + 1);
        return true;
    }
    if (Array *a = dynamic_cast<Array *>(node)) {
        for (Node *item : *a)
            if (bump_first_integer(item))
                return true;
    } else if (Dictionary *d = dynamic_cast<Dictionary *>(node)) {
        for (auto &entry : *d)
            if (bump_first_integer(entry.second))
                return true;
    }
    return false;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <document> [output.bin]\n", argv[0]);
        return 2;
    }
    std::vector<char> bytes;
    if (const int err = read_file(argv[1], bytes)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(err));
        return 1;
    }

    orvex_format_t format = ORVEX_FORMAT_NONE;
    // The reader hands back a root container that we own; it detects the encoding.
    std::unique_ptr<Structure> doc(Structure::FromMemory(bytes, &format));
    if (!doc) {
        std::fprintf(stderr, "%s: not a property list with a container at its root\n", argv[1]);
        return 1;
    }
    std::printf("read %s (%s), %u top-level children\n", argv[1], format_name(format), doc->GetSize());
    print(doc.get(), 0);

    bump_first_integer(doc.get());

    // Containers take copies: `note` stays ours and is freed by its destructor.
    Dictionary note;
    note.Set("by", String("model_tour"));
    Array tags;
    tags.Append(String("edited"));
    tags.Append(Boolean(true));
    note.Set("tags", tags);
    if (Dictionary *d = dynamic_cast<Dictionary *>(doc.get()))
        d->Set("Edited", note);
    else
        static_cast<Array *>(doc.get())->Append(note);

    std::printf("--- XML\n%s", doc->ToXml().c_str());
    const std::vector<char> bin = doc->ToBin();
    if (argc > 2) {
        if (const int err = write_file(argv[2], bin)) {
            std::fprintf(stderr, "%s: %s\n", argv[2], std::strerror(err));
            return 1;
        }
        std::printf("--- wrote %zu bytes of binary to %s\n", bin.size(), argv[2]);
    } else {
        std::printf("--- binary encoding: %zu bytes\n", bin.size());
    }
    return 0;
}
