// Defining malloc or operator new in the executable would not do: valgrind
// replaces every function of those names, wherever it is defined, with its own.
// Instead the hooks below carry names of their own, and the import slots (GOT
// entries) through which each loaded object calls the allocator are pointed at
// them. Each hook forwards to the function the slot held, so valgrind or the
// AddressSanitizer still see every block allocated and freed in matching pairs.
#include "fail_alloc.hpp"

#if !defined(__x86_64__)
#error "the import slots are read as x86-64 relocations"
#endif

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

long countdown = 0; // allocations until the failing one; 0 when disarmed
bool fired = false;
long live = 0;

bool fail_now() {
    if (countdown == 0 || --countdown != 0)
        return false;
    fired = true;
    return true;
}

template <class P> P counted(P p) {
    if (p)
        ++live;
    return p;
}

void *(*real_malloc)(size_t);
void *(*real_calloc)(size_t, size_t);
void *(*real_realloc)(void *, size_t);
void (*real_free)(void *);
int (*real_posix_memalign)(void **, size_t, size_t);
void *(*real_aligned_alloc)(size_t, size_t);
void *(*real_new)(size_t);
void *(*real_new_array)(size_t);
void *(*real_new_nothrow)(size_t, const std::nothrow_t &);
void *(*real_new_array_nothrow)(size_t, const std::nothrow_t &);
void (*real_delete)(void *);
void (*real_delete_array)(void *);
void (*real_delete_sized)(void *, size_t);
void (*real_delete_array_sized)(void *, size_t);
void (*real_delete_nothrow)(void *, const std::nothrow_t &);
void (*real_delete_array_nothrow)(void *, const std::nothrow_t &);

// libstdc++'s operator new[] and sized delete call plain operator new and
// delete through the hooked slots: only the outermost call counts.
int depth = 0;
struct Outer {
    Outer() { ++depth; }
    ~Outer() { --depth; }
    bool nested() const { return depth > 1; }
};

void *hook_malloc(size_t n) {
    Outer o;
    return o.nested() ? real_malloc(n) : fail_now() ? nullptr : counted(real_malloc(n));
}

void *hook_calloc(size_t count, size_t size) {
    Outer o;
    return o.nested() ? real_calloc(count, size) : fail_now() ? nullptr : counted(real_calloc(count, size));
}

void hook_free(void *p) {
    Outer o;
    if (p && !o.nested())
        --live;
    real_free(p);
}

void *hook_realloc(void *p, size_t n) {
    if (!p)
        return hook_malloc(n);
    if (n == 0) {
        hook_free(p);
        return nullptr;
    }
    // Failed or moved, it stays one block.
    Outer o;
    return !o.nested() && fail_now() ? nullptr : real_realloc(p, n);
}

int hook_posix_memalign(void **out, size_t align, size_t n) {
    Outer o;
    if (o.nested())
        return real_posix_memalign(out, align, n);
    if (fail_now())
        return ENOMEM;
    const int rc = real_posix_memalign(out, align, n);
    if (rc == 0)
        ++live;
    return rc;
}

void *hook_aligned_alloc(size_t align, size_t n) {
    Outer o;
    return o.nested()   ? real_aligned_alloc(align, n)
           : fail_now() ? nullptr
                        : counted(real_aligned_alloc(align, n));
}

template <class F> void *new_hook(F real, size_t n) {
    Outer o;
    if (o.nested())
        return real(n);
    if (fail_now())
        throw std::bad_alloc();
    return counted(real(n));
}

template <class F> void *new_nothrow_hook(F real, size_t n, const std::nothrow_t &t) {
    Outer o;
    return o.nested() ? real(n, t) : fail_now() ? nullptr : counted(real(n, t));
}

template <class F, class... Extra> void delete_hook(F real, void *p, Extra... extra) {
    Outer o;
    if (p && !o.nested())
        --live;
    real(p, extra...);
}

void *hook_new(size_t n) { return new_hook(real_new, n); }
void *hook_new_array(size_t n) { return new_hook(real_new_array, n); }
void *hook_new_nothrow(size_t n, const std::nothrow_t &t) noexcept {
    return new_nothrow_hook(real_new_nothrow, n, t);
}
void *hook_new_array_nothrow(size_t n, const std::nothrow_t &t) noexcept {
    return new_nothrow_hook(real_new_array_nothrow, n, t);
}
void hook_delete(void *p) noexcept { delete_hook(real_delete, p); }
void hook_delete_array(void *p) noexcept { delete_hook(real_delete_array, p); }
void hook_delete_sized(void *p, size_t n) noexcept { delete_hook(real_delete_sized, p, n); }
void hook_delete_array_sized(void *p, size_t n) noexcept { delete_hook(real_delete_array_sized, p, n); }
// What `new (std::nothrow) T` calls when the constructor throws.
void hook_delete_nothrow(void *p, const std::nothrow_t &t) noexcept {
    delete_hook(real_delete_nothrow, p, t);
}
void hook_delete_array_nothrow(void *p, const std::nothrow_t &t) noexcept {
    delete_hook(real_delete_array_nothrow, p, t);
}

struct Hook {
    const char *name;
    void *hook;
    void **real;
    bool cxx; // operator new or delete
};

#define HOOK(name, fn, cxx)                                                                                  \
    { name, reinterpret_cast<void *>(&hook_##fn), reinterpret_cast<void **>(&real_##fn), cxx }
const Hook hooks[] = {
    HOOK("malloc", malloc, false),
    HOOK("calloc", calloc, false),
    HOOK("realloc", realloc, false),
    HOOK("free", free, false),
    HOOK("posix_memalign", posix_memalign, false),
    HOOK("aligned_alloc", aligned_alloc, false),
    HOOK("_Znwm", new, true),
    HOOK("_Znam", new_array, true),
    HOOK("_ZnwmRKSt9nothrow_t", new_nothrow, true),
    HOOK("_ZnamRKSt9nothrow_t", new_array_nothrow, true),
    HOOK("_ZdlPv", delete, true),
    HOOK("_ZdaPv", delete_array, true),
    HOOK("_ZdlPvm", delete_sized, true),
    HOOK("_ZdaPvm", delete_array_sized, true),
    HOOK("_ZdlPvRKSt9nothrow_t", delete_nothrow, true),
    HOOK("_ZdaPvRKSt9nothrow_t", delete_array_nothrow, true),
};
#undef HOOK

bool contains(const char *s, const char *part) { return std::strstr(s, part) != nullptr; }

void set_slot(void **slot, void *value) {
    // The slot may lie in memory made read-only after relocation.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = reinterpret_cast<uintptr_t>(slot) & ~(page - 1);
    mprotect(reinterpret_cast<void *>(start), page, PROT_READ | PROT_WRITE);
    *slot = value;
}

int patch_object(dl_phdr_info *info, size_t, void *) {
    const char *name = info->dlpi_name ? info->dlpi_name : "";
    // The loader and libc keep their own calls; valgrind's and the
    // sanitizers' runtimes are the allocator. libstdc++'s operator new calls
    // malloc itself, so only its calls to operator new are taken.
    if (contains(name, "ld-linux") || contains(name, "vdso") || contains(name, "libc.so") ||
        contains(name, "vgpreload") || contains(name, "libasan") || contains(name, "libubsan") ||
        contains(name, "liblsan") || contains(name, "libtsan"))
        return 0;
    const bool cxx_only = contains(name, "libstdc++");

    const ElfW(Dyn) *dyn = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_DYNAMIC)
            dyn = reinterpret_cast<const ElfW(Dyn) *>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
    if (!dyn)
        return 0;
    const ElfW(Sym) *symtab = nullptr;
    const char *strtab = nullptr;
    const ElfW(Rela) * tables[2] = {nullptr, nullptr};
    size_t sizes[2] = {0, 0};
    // The loader has already rebased these addresses in place on this platform.
    for (const ElfW(Dyn) *d = dyn; d->d_tag != DT_NULL; ++d) {
        switch (d->d_tag) {
        case DT_SYMTAB:
            symtab = reinterpret_cast<const ElfW(Sym) *>(d->d_un.d_ptr);
            break;
        case DT_STRTAB:
            strtab = reinterpret_cast<const char *>(d->d_un.d_ptr);
            break;
        case DT_JMPREL:
            tables[0] = reinterpret_cast<const ElfW(Rela) *>(d->d_un.d_ptr);
            break;
        case DT_PLTRELSZ:
            sizes[0] = d->d_un.d_val;
            break;
        case DT_RELA:
            tables[1] = reinterpret_cast<const ElfW(Rela) *>(d->d_un.d_ptr);
            break;
        case DT_RELASZ:
            sizes[1] = d->d_un.d_val;
            break;
        default:
            break;
        }
    }
    if (!symtab || !strtab)
        return 0;
    for (int t = 0; t < 2; ++t) {
        for (size_t i = 0; tables[t] && i < sizes[t] / sizeof(ElfW(Rela)); ++i) {
            const ElfW(Rela) &r = tables[t][i];
            const auto type = ELF64_R_TYPE(r.r_info);
            if (type != R_X86_64_JUMP_SLOT && type != R_X86_64_GLOB_DAT)
                continue;
            const char *sym = strtab + symtab[ELF64_R_SYM(r.r_info)].st_name;
            for (const Hook &h : hooks)
                if ((h.cxx || !cxx_only) && std::strcmp(sym, h.name) == 0)
                    set_slot(reinterpret_cast<void **>(info->dlpi_addr + r.r_offset), h.hook);
        }
    }
    return 0;
}

void install() {
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const Hook &h : hooks)
        *h.real = dlsym(RTLD_DEFAULT, h.name);
    dl_iterate_phdr(patch_object, nullptr);
}

} // namespace

namespace fail_alloc {

void arm(long nth) {
    install();
    countdown = nth > 0 ? nth : 0;
    fired = false;
}

bool disarm() {
    countdown = 0;
    return fired;
}

long live_blocks() {
    install();
    return live;
}

} // namespace fail_alloc
