// convert and lint: whole documents, one file after another.
#include "commands.hpp"
#include "diag.hpp"
#include "files.hpp"
#include "formats.hpp"

#include <cstdio>
#include <memory>
#include <new>

namespace orvexutil {

void refuse_terminal(const std::string &command, const Format &format) {
    if (format.binary && stdout_is_terminal())
        throw UsageError{command, std::string("not writing ") + format.name +
                                      " to a terminal; give -o - to do so anyway"};
}

void deliver(const std::string &target, const std::string &bytes) {
    if (target == "-")
        write_stdout(bytes);
    else
        write_file(target, bytes);
}

WriteOptions write_options(const Parsed &parsed) {
    WriteOptions options;
    if (parsed.has("--pretty"))
        options.flags |= OPT_PRETTY;
    if (parsed.has("--lossy"))
        options.flags |= OPT_LOSSY;
    if (parsed.has("--typed"))
        options.flags |= OPT_TYPED;
    options.sort_keys = parsed.has("--sort-keys");
    return options;
}

namespace {

// `path` with its extension, if any, replaced by `extension`.
std::string with_extension(const std::string &path, const std::string &extension) {
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const size_t stem_end = dot != std::string::npos && dot > base ? dot : path.size();
    return path.substr(0, stem_end) + "." + extension;
}

} // namespace

int convert_command(const Args &args) {
    const Parsed parsed =
        parse_options("convert", args, {"--pretty", "--lossy", "--typed", "--sort-keys"}, {"-o", "-e"});
    if (parsed.operands.size() < 2)
        throw UsageError{"convert", "expected FORMAT and at least one FILE"};
    const WriteOptions options = write_options(parsed);
    const Format &format = writable_format("convert", parsed.operands[0], options);
    const std::vector<std::string> files(parsed.operands.begin() + 1, parsed.operands.end());
    const std::string *out = parsed.value("-o");
    const std::string *ext = parsed.value("-e");
    std::string extension = ext ? *ext : "";
    if (!extension.empty() && extension[0] == '.')
        extension.erase(0, 1);
    if (out && ext)
        throw UsageError{"convert", "give -o or -e, not both"};
    if (out && files.size() != 1)
        throw UsageError{"convert", "-o takes one FILE"};
    if (ext && (extension.empty() || extension.find('/') != std::string::npos))
        throw UsageError{"convert", "-e needs an extension such as 'plist'"};
    for (const std::string &file : files) {
        if (ext && file == "-")
            throw UsageError{"convert", "-e needs named files; standard input has no name"};
        if (!out && !ext && file == "-")
            refuse_terminal("convert", format);
    }

    int status = STATUS_OK;
    for (const std::string &file : files) {
        try {
            const Document doc = Document::load(file);
            const std::string bytes = encode(format, doc.handle(), options, file);
            deliver(out ? *out : ext ? with_extension(file, extension) : file, bytes);
        } catch (const Failure &failure) {
            report(failure);
            status = STATUS_FAILED;
        }
    }
    return status;
}

int create_command(const Args &args) {
    const Parsed parsed = parse_options("create", args, {}, {});
    if (parsed.operands.size() != 2)
        throw UsageError{"create", "expected FORMAT FILE"};
    const Format &format = writable_format("create", parsed.operands[0], WriteOptions());
    const std::string &file = parsed.operands[1];
    if (file == "-")
        refuse_terminal("create", format);
    const std::unique_ptr<void, void (*)(orvex_t)> empty(orvex_new_dict(), orvex_free);
    if (!empty)
        throw std::bad_alloc();
    deliver(file, encode(format, empty.get(), WriteOptions(), file));
    return STATUS_OK;
}

int lint_command(const Args &args) {
    const Parsed parsed = parse_options("lint", args, {"-s"}, {});
    if (parsed.operands.empty())
        throw UsageError{"lint", "expected at least one FILE"};
    int status = STATUS_OK;
    for (const std::string &file : parsed.operands) {
        try {
            Document::load(file);
            if (!parsed.has("-s"))
                write_stdout(display_name(file) + ": OK\n");
        } catch (const Failure &failure) {
            report(failure);
            status = STATUS_FAILED;
        }
    }
    return status;
}

} // namespace orvexutil
