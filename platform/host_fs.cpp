#include "platform/host_fs.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#else
#include <dirent.h>
#endif

namespace {

// Longest host path the layer handles; longer ones fail as missing files.
constexpr std::size_t maxHostPath = 4096;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when a[0..n) equals the NUL-terminated b ignoring ASCII case.
bool equalsIgnoringCase(const char* a, std::size_t n, const char* b) {
    for (std::size_t i = 0; i < n; ++i) {
        if (b[i] == '\0' || asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return b[n] == '\0';
}

bool entryExists(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0;
}

// Finds in folder `dir` the entry spelled like name[0..n) ignoring case; the first in byte order
// of several variants is copied to best[capacity]. False when none matches.
bool findCaseVariant(const char* dir, const char* name, std::size_t n, char* best,
                     std::size_t capacity) {
    bool found = false;
#if defined(__linux__)
    // Read the folder into a fixed buffer so a lookup allocates nothing.
    const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    alignas(8) char entries[8192];
    for (;;) {
        const long got = syscall(SYS_getdents64, fd, entries, sizeof entries);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            // Layout of a linux_dirent64: ino (8), off (8), reclen (2), type (1), name.
            uint16_t recordLength;
            std::memcpy(&recordLength, entries + at + 16, sizeof recordLength);
            const char* entryName = entries + at + 19;
            if (equalsIgnoringCase(name, n, entryName) &&
                (!found || std::strcmp(entryName, best) < 0) && n < capacity) {
                std::memcpy(best, entryName, n + 1);
                found = true;
            }
            at += recordLength;
        }
    }
    close(fd);
#else
    DIR* folder = opendir(dir);
    if (folder == nullptr) return false;
    while (const dirent* entry = readdir(folder)) {
        if (equalsIgnoringCase(name, n, entry->d_name) &&
            (!found || std::strcmp(entry->d_name, best) < 0) && n < capacity) {
            std::memcpy(best, entry->d_name, n + 1);
            found = true;
        }
    }
    closedir(folder);
#endif
    return found;
}

// Appends text[0..n) to out[capacity] at *length; false when it does not fit.
bool append(char* out, std::size_t capacity, std::size_t* length, const char* text, std::size_t n) {
    if (*length + n >= capacity) return false;
    std::memcpy(out + *length, text, n);
    *length += n;
    out[*length] = '\0';
    return true;
}

}  // namespace

// Maps a model path to a host path in out[capacity], resolving each existing component
// case-insensitively; uses one stack buffer [256] per component.
bool hostMapPath(const char* path, char* out, std::size_t capacity) {
    if (path == nullptr || out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    std::size_t length = 0;
    const char* rest = path;
    const bool hasDrive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                          path[1] == ':';
    if (hasDrive) {
        // Only an absolute path on drive C: exists here; a drive-relative "c:name" does not.
        if (asciiLower(path[0]) != 'c' || !isSeparator(path[2])) return false;
        const char* root = std::getenv("KESTREL9_ROOT");
        if (root == nullptr || root[0] == '\0') root = ".";
        if (!append(out, capacity, &length, root, std::strlen(root))) return false;
        rest = path + 3;
    } else if (path[0] == '/') {
        // A host absolute path stays one (tools and tests pass such paths).
        if (!append(out, capacity, &length, "/", 1)) return false;
        rest = path + 1;
    } else if (path[0] == '\\') {
        // Rooted on the current drive, which is C: for this program.
        const char* root = std::getenv("KESTREL9_ROOT");
        if (root == nullptr || root[0] == '\0') root = ".";
        if (!append(out, capacity, &length, root, std::strlen(root))) return false;
        rest = path + 1;
    } else {
        if (!append(out, capacity, &length, ".", 1)) return false;
    }

    bool resolving = true;  // stays on while every component so far exists
    while (*rest != '\0') {
        while (isSeparator(*rest)) ++rest;
        if (*rest == '\0') break;
        const char* name = rest;
        while (*rest != '\0' && !isSeparator(*rest)) ++rest;
        const std::size_t n = static_cast<std::size_t>(rest - name);

        // The folder's path ends at folderEnd (before the separator added here, if any).
        std::size_t folderEnd = length;
        if (out[length - 1] != '/') {
            if (!append(out, capacity, &length, "/", 1)) return false;
        }
        if (!append(out, capacity, &length, name, n)) return false;
        const bool special = (n == 1 && name[0] == '.') || (n == 2 && name[0] == '.' && name[1] == '.');
        if (!resolving || special || entryExists(out)) continue;

        char variant[256];
        const char saved = out[folderEnd];
        out[folderEnd] = '\0';
        const bool found = findCaseVariant(out, name, n, variant, sizeof variant);
        out[folderEnd] = saved;
        if (found) {
            // The variant has the same length as the written name.
            std::memcpy(out + length - n, variant, n);
        } else {
            resolving = false;  // a missing component: the rest keeps its written spelling
        }
    }
    return true;
}

// fopen of the mapped path; refuses folders in every mode.
std::FILE* hostOpen(const char* path, const char* mode) {
    char mapped[maxHostPath];
    if (mode == nullptr || !hostMapPath(path, mapped, sizeof mapped)) {
        errno = ENOENT;
        return nullptr;
    }
    struct stat info;
    if (stat(mapped, &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    std::FILE* file = std::fopen(mapped, mode);
    if (file == nullptr) return nullptr;
    // The path may have become a folder between the two calls.
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

// True for a regular file that opens for reading.
bool hostFileExists(const char* path) {
    char mapped[maxHostPath];
    if (!hostMapPath(path, mapped, sizeof mapped)) return false;
    struct stat info;
    if (stat(mapped, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const int fd = open(mapped, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// Removes a file (never a folder); 0 on success.
int hostRemove(const char* path) {
    char mapped[maxHostPath];
    if (!hostMapPath(path, mapped, sizeof mapped)) {
        errno = ENOENT;
        return -1;
    }
    return unlink(mapped) == 0 ? 0 : -1;
}
