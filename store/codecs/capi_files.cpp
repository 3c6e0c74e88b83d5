// C interface: documents read from and written to files. Reads are bounded
// by the document limit before memory is taken; writes replace a file
// through a temporary one beside it, so no reader ever sees half a document.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "codecs/codecs.hpp"

namespace orvex_store {
namespace {

// Closes on every path; errno survives, so a failure is reported as the
// failing call left it.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd >= 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
        }
    }
};

// ORVEX_ERR_IO with errno set to `err`.
orvex_err_t io_error(int err) {
    errno = err;
    return ORVEX_ERR_IO;
}

// A read(2) that goes on after a signal.
ssize_t read_some(int fd, char *to, size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, to, n);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// Reads `fd` to its end into a malloc'd buffer with a NUL after the bytes.
// The buffer starts at `expected` bytes and never grows past MAX_OUT: once
// it is full, one byte more is read aside, so a document of just the bound
// is taken and one a byte past it refused without memory for it. Grown with
// realloc, which moves large blocks without copying them.
orvex_err_t read_all(int fd, uint64_t expected, char **data, uint64_t *length) {
    size_t cap = static_cast<size_t>((expected < MAX_OUT ? expected : MAX_OUT) + 1); // the NUL's byte too
    char *buf = static_cast<char *>(std::malloc(cap));
    if (!buf)
        return ORVEX_ERR_NO_MEM;
    size_t size = 0;
    for (;;) {
        if (size + 1 == cap) {
            char probe;
            const ssize_t got = read_some(fd, &probe, 1);
            if (got <= 0) {
                if (got == 0)
                    break;
                const int err = errno;
                std::free(buf);
                return io_error(err);
            }
            if (size == MAX_OUT) {
                std::free(buf);
                return ORVEX_ERR_LIMIT;
            }
            const uint64_t want = 2 * uint64_t(cap) > 65536 ? 2 * uint64_t(cap) : 65536;
            const size_t grown = static_cast<size_t>(want < MAX_OUT + 1 ? want : MAX_OUT + 1);
            char *more = static_cast<char *>(std::realloc(buf, grown));
            if (!more) {
                std::free(buf);
                return ORVEX_ERR_NO_MEM;
            }
            buf = more;
            cap = grown;
            buf[size++] = probe;
            continue;
        }
        const ssize_t got = read_some(fd, buf + size, cap - 1 - size);
        if (got < 0) {
            const int err = errno;
            std::free(buf);
            return io_error(err);
        }
        if (got == 0)
            break;
        size += static_cast<size_t>(got);
    }
    buf[size] = 0;
    *data = buf;
    *length = size;
    return ORVEX_ERR_SUCCESS;
}

bool write_all(int fd, const char *data, uint64_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, static_cast<size_t>(size < (1u << 30) ? size : (1u << 30)));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        if (put == 0) {
            errno = EIO;
            return false;
        }
        data += put;
        size -= static_cast<uint64_t>(put);
    }
    return true;
}

// The signals that end a program by default while a temporary file exists,
// held on this thread meanwhile: they end it once the file is renamed or
// removed, never between.
class HeldSignals {
  public:
    HeldSignals() {
        sigset_t held;
        sigemptyset(&held);
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&held, sig);
        pthread_sigmask(SIG_BLOCK, &held, &before_);
    }
    HeldSignals(const HeldSignals &) = delete;
    HeldSignals &operator=(const HeldSignals &) = delete;
    ~HeldSignals() {
        const int saved = errno;
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
        errno = saved;
    }

  private:
    sigset_t before_;
};

// Makes a new file `temp` (its last six characters replaced) for writing.
// Made with open(2) and mode 0666, not mkstemp: a new target gets the mode
// the umask (and a folder's default ACL) gives, and the process's umask,
// which other threads may be using, is never changed to read it.
int make_temp(std::string &temp) {
    static std::atomic<uint64_t> counter{0};
    static const char DIGITS[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const size_t at = temp.size() - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        uint64_t x = (uint64_t(now.tv_nsec) << 20) ^ uint64_t(now.tv_sec) ^ (uint64_t(::getpid()) << 40) ^
                     (counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull);
        for (size_t i = 0; i < 6; ++i, x /= 62)
            temp[at + i] = DIGITS[x % 62];
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1; // errno: EEXIST
}

// Writes `data` over the file `path` itself, so that every hard link to it
// sees them; false, with errno, when not all of it reached the disk.
bool write_in_place(const char *path, const char *data, uint64_t length) {
    Fd out(::open(path, O_WRONLY | O_CLOEXEC));
    return out.fd >= 0 && write_all(out.fd, data, length) && ::ftruncate(out.fd, off_t(length)) == 0 &&
           ::fsync(out.fd) == 0;
}

orvex_err_t write_file_bytes(const char *requested, const char *data, uint64_t length) {
    // Replacing a link would cut it: write where it points instead.
    std::string path = requested;
    struct stat st;
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        if (char *real = ::realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
        exists = ::stat(path.c_str(), &st) == 0;
    }
    if (exists && S_ISDIR(st.st_mode))
        return io_error(EISDIR);
    // A file the user may not write is not replaced either, as a shell's
    // redirection would refuse it.
    if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return ORVEX_ERR_IO;

    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";

    const HeldSignals held;
    const int fd = make_temp(temp);
    if (fd < 0)
        return ORVEX_ERR_IO;
    // The target's owner and group where allowed (as cp -p does, the group
    // alone when the owner cannot be given), and its mode.
    bool ok = true;
    if (exists) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), st.st_gid);
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    }
    ok = ok && write_all(fd, data, length) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    // A file with other hard links is written through its own inode once
    // the complete copy is on disk; renaming would split the links. Should
    // that fail, the complete copy takes this name: a torn target is worse
    // than split links.
    const bool linked = exists && st.st_nlink > 1;
    bool renamed = false;
    if (ok && linked && !write_in_place(path.c_str(), data, length)) {
        err = errno;
        renamed = ::rename(temp.c_str(), path.c_str()) == 0;
        if (!renamed)
            return io_error(err); // the temporary file is the one whole copy left: kept
        ok = false;
    } else if (ok && !linked) {
        renamed = ::rename(temp.c_str(), path.c_str()) == 0;
        if (!renamed) {
            ok = false;
            err = errno;
        }
    }
    if (!renamed)
        ::unlink(temp.c_str());
    if (renamed) {
        // The rename itself reaches the disk with the folder.
        Fd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd >= 0)
            ::fsync(folder.fd);
    }
    return ok ? ORVEX_ERR_SUCCESS : io_error(err);
}

// The outcome of a read that failed before any reader saw the document.
void fill_result(orvex_parse_result *result, orvex_err_t code, orvex_reason_t reason) {
    if (!result)
        return;
    result->code = code;
    result->offset = 0;
    result->line = result->column = 0;
    result->cause = reason;
    result->reason = orvex_reason_text(reason);
}

} // namespace
} // namespace orvex_store

using namespace orvex_store;

extern "C" {

orvex_err_t orvex_read_file_bytes(const char *path, char **data, uint64_t *length) {
    if (!data || !length)
        return ORVEX_ERR_INVALID_ARG;
    *data = nullptr;
    *length = 0;
    if (!path)
        return ORVEX_ERR_INVALID_ARG;
    Fd in(::open(path, O_RDONLY | O_CLOEXEC));
    if (in.fd < 0)
        return ORVEX_ERR_IO;
    struct stat st;
    if (::fstat(in.fd, &st) != 0)
        return ORVEX_ERR_IO;
    if (S_ISDIR(st.st_mode))
        return io_error(EISDIR);
    // A regular file's size is known: a long one is refused before it is
    // read, and a short one read into a buffer of its size.
    uint64_t expected = 65536;
    if (S_ISREG(st.st_mode)) {
        if (uint64_t(st.st_size) > MAX_OUT)
            return ORVEX_ERR_LIMIT;
        expected = uint64_t(st.st_size);
    }
    return read_all(in.fd, expected, data, length);
}

orvex_err_t orvex_read_file(const char *path, orvex_format_t format, orvex_t *root, orvex_format_t *found,
                            orvex_parse_result *result) {
    if (root)
        *root = nullptr;
    if (found)
        *found = ORVEX_FORMAT_NONE;
    if (!root || !path) {
        fill_result(result, ORVEX_ERR_INVALID_ARG, ORVEX_REASON_INVALID_ARG);
        return ORVEX_ERR_INVALID_ARG;
    }
    char *data = nullptr;
    uint64_t length = 0;
    const orvex_err_t e = orvex_read_file_bytes(path, &data, &length);
    if (e != ORVEX_ERR_SUCCESS) {
        const int err = errno;
        fill_result(result, e,
                    e == ORVEX_ERR_LIMIT    ? ORVEX_REASON_TOO_LONG
                    : e == ORVEX_ERR_NO_MEM ? ORVEX_REASON_NO_MEMORY
                                            : ORVEX_REASON_NONE);
        errno = err;
        return e;
    }
    const orvex_err_t parsed = orvex_parse(data, length, format, root, found, result);
    std::free(data);
    return parsed;
}

orvex_err_t orvex_write_file_bytes(const char *path, const char *data, uint64_t length) {
    if (!path || (!data && length))
        return ORVEX_ERR_INVALID_ARG;
    if (length > MAX_OUT)
        return ORVEX_ERR_LIMIT;
    try {
        return write_file_bytes(path, data ? data : "", length);
    } catch (const std::bad_alloc &) {
        return ORVEX_ERR_NO_MEM;
    }
}

orvex_err_t orvex_write_file(orvex_t node, const char *path, orvex_format_t format, uint32_t flags) {
    if (!path)
        return ORVEX_ERR_INVALID_ARG;
    char *data = nullptr;
    uint64_t length = 0;
    orvex_err_t e = orvex_write(node, format, flags, &data, &length);
    if (e == ORVEX_ERR_SUCCESS)
        e = orvex_write_file_bytes(path, data, length);
    const int err = errno;
    std::free(data);
    errno = err;
    return e;
}

} // extern "C"
