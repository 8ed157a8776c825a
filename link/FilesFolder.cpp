#include "FilesFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string_view>

namespace {

// ".talvex-" and six characters of mkostemp: earlier versions used the same names.
constexpr std::string_view kPartPrefix = ".talvex-";
constexpr size_t kPartNameLength = kPartPrefix.size() + 6;
constexpr const char* kRecordName = ".talvex.received";
constexpr size_t kMaxRecordBytes = 1 << 20;
constexpr size_t kMaxRecordEntries = 10000;

struct Entry {
    unsigned long long inode = 0, size = 0;
    long long seconds = 0, nanoseconds = 0;
    std::string name;
};

Entry EntryOf(const struct stat& st, const std::string& name) {
    return {static_cast<unsigned long long>(st.st_ino), static_cast<unsigned long long>(st.st_size),
            static_cast<long long>(st.st_mtim.tv_sec), static_cast<long long>(st.st_mtim.tv_nsec),
            name};
}

bool Same(const Entry& a, const Entry& b) {
    return a.inode == b.inode && a.size == b.size && a.seconds == b.seconds &&
           a.nanoseconds == b.nanoseconds && a.name == b.name;
}

// The entry of `name` as it is on disk now; false when it is not a regular file.
bool RegularFileEntry(const std::string& dir, const std::string& name, Entry& out) {
    struct stat st;
    if (::lstat((dir + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    out = EntryOf(st, name);
    return true;
}

// One line a file: "inode size seconds nanoseconds name"; a name holds no line break.
std::deque<Entry> ReadRecord(const std::string& dir) {
    std::deque<Entry> entries;
    const int fd = ::open((dir + "/" + kRecordName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return entries;
    std::string text;
    char chunk[4096];
    for (ssize_t n; text.size() < kMaxRecordBytes && (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(chunk, size_t(n));
    }
    ::close(fd);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        Entry e;
        int used = 0;
        // One blank before the name: a name may begin with blanks of its own.
        if (std::sscanf(line.c_str(), "%llu %llu %lld %lld%n", &e.inode, &e.size, &e.seconds,
                        &e.nanoseconds, &used) == 4 &&
            size_t(used) + 1 < line.size() && line[size_t(used)] == ' ') {
            e.name = line.substr(size_t(used) + 1);
            entries.push_back(std::move(e));
        }
        if (entries.size() > kMaxRecordEntries) entries.pop_front();
    }
    return entries;
}

void WriteRecord(const std::string& dir, const std::deque<Entry>& entries) {
    std::string text;
    for (const Entry& e : entries) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%llu %llu %lld %lld ", e.inode, e.size, e.seconds,
                      e.nanoseconds);
        text += numbers + e.name + '\n';
    }
    std::string part;
    const int fd = CreatePartFile(dir, part);
    if (fd < 0) return;
    bool written = true;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += size_t(n);
    }
    if (::close(fd) != 0 || !written ||
        ::rename(part.c_str(), (dir + "/" + kRecordName).c_str()) != 0)
        ::unlink(part.c_str());
}

} // namespace

int CreatePartFile(const std::string& dir, std::string& path) {
    path = dir + "/" + std::string(kPartPrefix) + "XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    ::flock(fd, LOCK_EX);
    ::fchmod(fd, 0644);
    return fd;
}

void RemoveLeftoverParts(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() != kPartNameLength || name.substr(0, kPartPrefix.size()) != kPartPrefix)
            continue;
        const int fd =
            ::openat(::dirfd(d), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        // Held: a transfer of a client running now.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(::dirfd(d), e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

NameUse UseOfName(const std::string& dir, const std::string& name) {
    struct stat st;
    // Not there, or not to be seen: creating the file says why, and the rename never replaces.
    if (::lstat((dir + "/" + name).c_str(), &st) != 0) return NameUse::Free;
    Entry now;
    if (!RegularFileEntry(dir, name, now)) return NameUse::Taken;
    for (const Entry& e : ReadRecord(dir))
        if (Same(e, now)) return NameUse::Ours;
    return NameUse::Taken;
}

int MovePartToName(const std::string& part, const std::string& dir, const std::string& name,
                   NameUse use) {
    const std::string target = dir + "/" + name;
    if (use == NameUse::Ours) {
        if (UseOfName(dir, name) != NameUse::Ours) return EEXIST;
        return ::rename(part.c_str(), target.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the atomic form: a second name, then the temporary one goes.
    if (::link(part.c_str(), target.c_str()) == 0) {
        ::unlink(part.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return errno;
    // Nor hard links (FAT): the name is checked just before.
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0) return EEXIST;
    return ::rename(part.c_str(), target.c_str()) == 0 ? 0 : errno;
}

void RecordSaved(const std::string& dir, const std::string& name) {
    std::deque<Entry> kept;
    for (Entry& e : ReadRecord(dir)) {
        Entry now;
        if (e.name != name && RegularFileEntry(dir, e.name, now) && Same(e, now))
            kept.push_back(std::move(e));
    }
    Entry saved;
    if (RegularFileEntry(dir, name, saved)) kept.push_back(std::move(saved));
    while (kept.size() > kMaxRecordEntries) kept.pop_front();
    WriteRecord(dir, kept);
}
