#include "files.hpp"

#include "diag.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace orvexutil {

namespace {

const std::string TOO_LONG = orvex_reason_text(ORVEX_REASON_TOO_LONG);

} // namespace

// Reads what `fd` holds, refusing it once past MAX_DOCUMENT: the buffer
// never grows past the bound, and reading stops one byte after it. Grown
// with realloc, which moves large blocks without copying them, so memory
// stays near the size read.
Bytes read_all(int fd, const std::string &path) {
    Bytes bytes;
    size_t capacity = 0;
    for (;;) {
        char extra;
        char *at = &extra;
        size_t room = 1;
        if (bytes._size < MAX_DOCUMENT) {
            if (bytes._size == capacity) {
                const size_t grown = size_t(
                    std::min<uint64_t>(MAX_DOCUMENT, std::max<uint64_t>(65536, 2 * uint64_t(capacity))));
                char *more = static_cast<char *>(std::realloc(bytes._data.get(), grown));
                if (!more)
                    throw std::bad_alloc();
                (void)bytes._data.release();
                bytes._data.reset(more);
                capacity = grown;
            }
            at = bytes._data.get() + bytes._size;
            room = capacity - bytes._size;
        }
        const ssize_t got = ::read(fd, at, room);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Failure{path, system_error()};
        if (got == 0)
            return bytes;
        if (at == &extra)
            throw Failure{path, TOO_LONG};
        bytes._size += size_t(got);
    }
}

namespace {

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

Bytes read_input(const std::string &path) {
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

namespace {

// Writes `bytes` over the file `path` itself, so that every hard link to it
// sees them; true when all of it reached the disk. The signals that would
// end the process are held meanwhile: the temporary file, the one complete
// copy, must outlive a half-written target.
bool write_in_place(const std::string &path, const std::string &bytes, std::string &why) {
    sigset_t held, before;
    sigemptyset(&held);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, sig);
    ::sigprocmask(SIG_BLOCK, &held, &before);
    Fd out{::open(path.c_str(), O_WRONLY | O_CLOEXEC)};
    const bool ok = out.fd >= 0 && write_all(out.fd, bytes.data(), bytes.size()) &&
                    ::ftruncate(out.fd, off_t(bytes.size())) == 0 && ::fsync(out.fd) == 0;
    if (!ok)
        why = system_error();
    ::sigprocmask(SIG_SETMASK, &before, nullptr);
    return ok;
}

} // namespace

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
    // A file the user may not write is not replaced either, as a shell's
    // redirection would refuse it.
    if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        throw Failure{requested, system_error()};

    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
        throw Failure{requested, system_error()};
    track_temp(temp);

    // mkstemp makes the file private and the user's: give it the target's
    // owner and group where allowed (as cp -p does, the group alone when
    // the owner cannot be given) and mode, or the mode a new file would get.
    mode_t mode;
    if (exists) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), st.st_gid);
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
    // A file with other hard links is written through its own inode once
    // the complete copy is on disk; renaming would split the links.
    const bool linked = exists && st.st_nlink > 1;
    if (ok && linked && !write_in_place(path, bytes, why)) {
        have_pending = 0;
        throw Failure{requested, "rewriting it in place failed (" + why + "); the new content is in " + temp};
    }
    if (ok && !linked && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        why = system_error();
    }
    if (!ok || linked)
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
