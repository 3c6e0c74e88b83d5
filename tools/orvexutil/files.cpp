#include "files.hpp"

#include "diag.hpp"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvexutil {

namespace {

const std::string TOO_LONG = orvex_reason_text(ORVEX_REASON_TOO_LONG);

// Reads what `fd` holds, refusing it once past MAX_DOCUMENT.
std::vector<char> read_all(int fd, const std::string &path) {
    std::vector<char> bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Failure{path, system_error()};
        if (got == 0)
            return bytes;
        if (bytes.size() + uint64_t(got) > MAX_DOCUMENT)
            throw Failure{path, TOO_LONG};
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

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

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The temporary file being written, removed if a signal ends the process
// before it is renamed: the handler may only use async-signal-safe calls,
// hence a fixed buffer.
char pending_temp[4096];
volatile std::sig_atomic_t have_pending = 0;

extern "C" void remove_pending_and_die(int sig) {
    if (have_pending)
        ::unlink(pending_temp);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void track_temp(const std::string &temp) {
    static const bool installed = [] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            std::signal(sig, remove_pending_and_die);
        return true;
    }();
    (void)installed;
    if (temp.size() < sizeof(pending_temp)) {
        std::memcpy(pending_temp, temp.c_str(), temp.size() + 1);
        have_pending = 1;
    }
}

} // namespace

std::vector<char> read_input(const std::string &path) {
    if (path == "-")
        return read_all(STDIN_FILENO, path);
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        throw Failure{path, system_error()};
    struct stat st;
    if (::fstat(in.fd, &st) != 0)
        throw Failure{path, system_error()};
    if (S_ISDIR(st.st_mode))
        throw Failure{path, "is a directory"};
    // A regular file's size is known: refuse a long one before reading it.
    if (S_ISREG(st.st_mode) && uint64_t(st.st_size) > MAX_DOCUMENT)
        throw Failure{path, TOO_LONG};
    return read_all(in.fd, path);
}

void write_file(const std::string &requested, const std::string &bytes) {
    // Replacing a link would cut it: write where it points instead.
    std::string path = requested;
    struct stat st;
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        char *real = ::realpath(path.c_str(), nullptr);
        if (real) {
            path = real;
            std::free(real);
        }
        exists = ::stat(path.c_str(), &st) == 0;
    }
    if (exists && S_ISDIR(st.st_mode))
        throw Failure{requested, "is a directory"};

    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
        throw Failure{requested, system_error()};
    track_temp(temp);

    // mkstemp makes the file private; give it the target's mode, or the one
    // a new file would get.
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    std::string why = ok ? "" : system_error();
    if (::close(fd) != 0 && ok) {
        ok = false;
        why = system_error();
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        why = system_error();
    }
    if (!ok)
        ::unlink(temp.c_str());
    have_pending = 0;
    if (!ok)
        throw Failure{requested, why};
    // The rename itself reaches the disk with the folder.
    Fd folder{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (folder.fd >= 0)
        ::fsync(folder.fd);
}

void write_stdout(const std::string &bytes) {
    if (!write_all(STDOUT_FILENO, bytes.data(), bytes.size()))
        throw Failure{"", "cannot write to standard output: " + system_error()};
}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

} // namespace orvexutil
