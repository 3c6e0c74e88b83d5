#include "diag.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvexutil {

std::string display_name(const std::string &path) { return path == "-" ? "<stdin>" : path; }

void report(const std::string &file, const std::string &message) {
    if (file.empty())
        std::fprintf(stderr, "orvexutil: %s\n", message.c_str());
    else
        std::fprintf(stderr, "orvexutil: %s: %s\n", display_name(file).c_str(), message.c_str());
}

void report(const Failure &failure) { report(failure.file, failure.message); }

std::string rejection_text(const orvex_parse_result &result) {
    const std::string reason = result.reason ? result.reason : orvex_reason_text(result.cause);
    if (result.line > 0)
        return "line " + std::to_string(result.line) + ", column " + std::to_string(result.column) + ": " +
               reason;
    return "byte " + std::to_string(result.offset) + ": " + reason;
}

std::string system_error() { return std::strerror(errno); }

} // namespace orvexutil
