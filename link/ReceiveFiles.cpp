// Files pushed by the device (message 17): written into the files directory under plain names
// only, each under a temporary name there and renamed over its own name once complete, so a
// file is never half-written and a symbolic link of that name is replaced, never followed. A
// refused or failed file is still read off the wire so the stream stays in step.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "Alerts.h"
#include "Frame.h"
#include "Link.h"
#include "LinkState.h"
#include "Receive.h"
#include "TextCodec.h"
#include "TransferReport.h"

namespace {

constexpr uint32_t kMaxNameBytes = 0xFFFFF;
constexpr uint32_t kChunk = 4096;

std::mutex g_dirMutex;
std::string g_filesDirectory;

std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string full(path, size_t(n));
    size_t cut = full.find_last_of("/");
    return cut == std::string::npos ? "." : full.substr(0, cut);
}

// Reads `length` bytes into the file (fd < 0: discards them). Returns the read status; a failed
// write is kept in writeError and the rest is still read.
int CopyToFile(int fd, uint32_t length, int& writeError, TransferReport& report,
               const std::u16string& name) {
    std::vector<uint8_t> chunk(kChunk);
    uint32_t left = length;
    while (left > 0) {
        uint32_t piece = std::min(left, kChunk);
        if (int st = ReadFileBlocking(chunk.data(), piece, __LINE__)) return st;
        left -= piece;
        report.Update(name, length - left, length);
        if (fd < 0 || writeError) continue;
        size_t done = 0;
        while (done < piece) {
            ssize_t w = ::write(fd, chunk.data() + done, piece - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                writeError = w < 0 ? errno : EIO;
                break;
            }
            done += size_t(w);
        }
    }
    return 0;
}

// A file being received: its temporary file, renamed over the name by Finish.
class IncomingFile {
public:
    IncomingFile(const std::string& directory, const std::u16string& name) {
        if (!IsSafeDeviceFileName(name)) return;
        m_path = directory + "/" + Utf16ToUtf8(name);
        m_temp = directory + "/.talvex-XXXXXX";
        if (m_path.size() >= PATH_MAX) return;
        m_fd = mkostemp(m_temp.data(), O_CLOEXEC);
        if (m_fd >= 0) fchmod(m_fd, 0644);
    }
    ~IncomingFile() { Discard(); }
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;

    int Fd() const { return m_fd; }
    // Renames the complete file over its name: 0 or an errno value.
    int Finish() {
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            int e = errno;
            ::unlink(m_temp.c_str());
            return e;
        }
        if (::rename(m_temp.c_str(), m_path.c_str()) != 0) {
            int e = errno;
            ::unlink(m_temp.c_str());
            return e;
        }
        return 0;
    }
    // Removes the temporary file; what was there under the name stays untouched.
    void Discard() {
        if (m_fd < 0) return;
        ::close(m_fd);
        ::unlink(m_temp.c_str());
        m_fd = -1;
    }

private:
    std::string m_path;
    std::string m_temp;
    int m_fd = -1;
};

} // namespace

void LinkSetFilesDirectory(const std::string& directory) {
    std::lock_guard g(g_dirMutex);
    g_filesDirectory = directory;
}

std::string LinkGetFilesDirectory() {
    std::lock_guard g(g_dirMutex);
    return g_filesDirectory.empty() ? ProgramDirectory() : g_filesDirectory;
}

bool IsSafeDeviceFileName(const std::u16string& name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\' || c == u':') return false;
    return Utf16ToUtf8(name).size() <= NAME_MAX;
}

// The lock is taken only around the entry: holding it while the device sends (or stalls in) a
// large file would freeze every sender on the user-interface thread, Close included.
int ReceiveFiles() {
    LinkState& s = LinkStateInstance();
    uint32_t id = 0, count = 0;
    if (int st = ReadFileBlocking(&id, 4, __LINE__)) return st;
    bool utf16 = false;
    {
        std::lock_guard g(s.lock);
        if (CLinkCtrl* entry = LinkFind(id)) {
            entry->m_bDeviceChanged = 1;
            utf16 = entry->m_dwFlags & CTRLF_TEXT16;
        }
    }
    if (int st = ReadFileBlocking(&count, 4, __LINE__)) return st;
    const std::string directory = LinkGetFilesDirectory();
    int result = 0;
    std::vector<uint8_t> nameBytes;
    TransferReport report;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameLength = 0, dataLength = 0;
        if (int st = ReadFileBlocking(&nameLength, 4, __LINE__)) return st;
        if (nameLength > kMaxNameBytes) {
            RaiseSizeAlarm(LinkAlerts(), __LINE__);
            nameLength = 0;
        }
        if (int st = LinkReadField(nameBytes, nameLength, __LINE__)) return st;
        const std::u16string name = utf16 ? DecodeUtf16LE(nameBytes.data(), nameBytes.size())
                                          : WidenAnsi(nameBytes.data(), nameBytes.size());
        if (int st = ReadFileBlocking(&dataLength, 4, __LINE__)) return st;

        IncomingFile file(directory, name);
        const bool created = file.Fd() >= 0;
        if (!created && result == 0) result = LINK_E_FILE_CREATE;
        int writeError = 0;
        if (int st = CopyToFile(file.Fd(), dataLength, writeError, report, name)) return st;
        if (!created) continue;
        if (writeError)
            file.Discard();
        else
            writeError = file.Finish();
        if (writeError && result == 0) result = writeError;
        if (!writeError && i == 0) {
            std::lock_guard g(s.lock);
            if (CLinkCtrl* entry = LinkFind(id)) entry->m_strFileName = name;
        }
    }
    return result;
}
