#include "files.hpp"

#include "diag.hpp"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

namespace orvexutil {

namespace {

// What a failed file call says: the system's text, but the tool's own words
// for a directory.
std::string io_text() { return errno == EISDIR ? "is a directory" : system_error(); }

bool write_all(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= size_t(put);
    }
    return true;
}

} // namespace

Bytes read_input(const std::string &path) {
    Bytes bytes;
    char *data = nullptr;
    uint64_t length = 0;
    // Standard input through its name: the library's bounded read is the
    // only one (a socket on standard input cannot be opened so).
    const orvex_err_t status =
        orvex_read_file_bytes(path == "-" ? "/dev/stdin" : path.c_str(), &data, &length);
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    if (status == ORVEX_ERR_LIMIT)
        throw Failure{path, orvex_reason_text(ORVEX_REASON_TOO_LONG)};
    if (status != ORVEX_ERR_SUCCESS)
        throw Failure{path, io_text()};
    bytes._data.reset(data);
    bytes._size = size_t(length); // at most 2^32-1
    return bytes;
}

void write_file(const std::string &path, const std::string &bytes) {
    const orvex_err_t status = orvex_write_file_bytes(path.c_str(), bytes.data(), bytes.size());
    if (status == ORVEX_ERR_NO_MEM)
        throw std::bad_alloc();
    if (status != ORVEX_ERR_SUCCESS)
        throw Failure{path, status == ORVEX_ERR_IO ? io_text() : orvex_err_text(status)};
}

void write_stdout(const std::string &bytes) {
    if (!write_all(STDOUT_FILENO, bytes.data(), bytes.size()))
        throw Failure{"", "cannot write to standard output: " + system_error()};
}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

} // namespace orvexutil
