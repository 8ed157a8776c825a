// Files pushed by the device (message 17): written into the files directory under plain, visible
// names only, each under a temporary name there and renamed to its own name once complete, so a
// file is never half-written, a symbolic link is never followed, and only a file the client
// saved there itself is ever replaced. A refused or failed file is said by name and why, and is
// still read off the wire so the stream stays in step.
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Alerts.h"
#include "FileNames.h"
#include "FilesFolder.h"
#include "Frame.h"
#include "Link.h"
#include "LinkState.h"
#include "Receive.h"
#include "TextCodec.h"
#include "TransferReport.h"

namespace {

constexpr uint32_t kMaxNameBytes = 0xFFFFF;
constexpr uint32_t kChunk = 4096;
constexpr size_t kMaxSavedKept = 100;

std::mutex g_dirMutex;
std::string g_filesDirectory;
std::vector<std::u16string> g_saved; // since the view last took them

std::u16string FromUtf8(const std::string& text) {
    if (auto wide = Utf8ToUtf16(text)) return *wide;
    return WidenAnsi(reinterpret_cast<const uint8_t*>(text.data()), text.size(), false);
}

// Why a file could not be saved, as the end of "Could not save NAME from the device: ...".
std::u16string WhyNotSaved(int error, const std::string& directory) {
    const std::u16string dir = FromUtf8(directory);
    switch (error) {
    case ENOSPC:
        return u"the disk is full";
    case EDQUOT:
        return u"the disk quota is used up";
    case EFBIG:
        return u"the file is too large for the disk";
    case EROFS:
    case EACCES:
    case EPERM:
        return u"the folder " + dir + u" is read-only";
    case ENOENT:
    case ENOTDIR:
        return u"the folder " + dir + u" does not exist";
    case EEXIST:
    case EISDIR:
        return dir + u" already holds something of that name that did not come from the device";
    case ENAMETOOLONG:
        return u"the name is too long for the folder " + dir;
    case LINK_PORT_STALLED:
        return u"the device stopped sending it";
    default:
        return FromUtf8(std::strerror(error));
    }
}

// The files of one message that were not saved: the first few are said one by one, the rest
// counted into one notice at the end, so that a message of many files cannot flood the screen.
class NotSavedNotices {
public:
    NotSavedNotices() = default;
    NotSavedNotices(const NotSavedNotices&) = delete;
    NotSavedNotices& operator=(const NotSavedNotices&) = delete;
    ~NotSavedNotices() {
        if (m_more == 0) return;
        const std::string n = std::to_string(m_more);
        RaiseMessage(LinkAlerts(),
                     u"The device sent " + std::u16string(n.begin(), n.end()) +
                         (m_more == 1 ? u" more file that was" : u" more files that were") +
                         u" not saved");
    }

    void NotSaved(const std::u16string& name, int error, const std::string& directory) {
        Say(u"Could not save " + VisibleFileName(name) + u" from the device: " +
            WhyNotSaved(error, directory));
    }
    void Refused(const std::u16string& name, FileNameProblem problem) {
        Say(problem == FileNameProblem::Empty
                ? u"The device sent a file without a name; it was not saved"
                : u"The device sent a file named " + VisibleFileName(name) + u"; " +
                      FileNameProblemText(problem));
    }

private:
    static constexpr int kSaidOneByOne = 5;
    void Say(const std::u16string& text) {
        if (m_said < kSaidOneByOne) {
            ++m_said;
            RaiseMessage(LinkAlerts(), text);
        } else {
            ++m_more;
        }
    }
    int m_said = 0;
    uint32_t m_more = 0;
};

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

// A file being received: its temporary file, moved to its name by Finish. Error() is why it
// cannot be saved (0 while it can).
class IncomingFile {
public:
    IncomingFile(const std::string& directory, const std::string& name)
        : m_directory(directory), m_name(name) {
        if (directory.empty()) {
            m_error = ENOENT;
            return;
        }
        if (directory.size() + 1 + name.size() >= PATH_MAX) {
            m_error = ENAMETOOLONG;
            return;
        }
        m_use = UseOfName(directory, name);
        if (m_use == NameUse::Taken) {
            m_error = EEXIST;
            return;
        }
        m_fd = CreatePartFile(directory, m_part);
        if (m_fd < 0) m_error = errno;
    }
    ~IncomingFile() { Discard(); }
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;

    int Fd() const { return m_fd; }
    int Error() const { return m_error; }
    // Moves the complete file to its name: 0 or an errno value.
    int Finish() {
        const int fd = std::exchange(m_fd, -1);
        int e = ::close(fd) == 0 ? MovePartToName(m_part, m_directory, m_name, m_use) : errno;
        if (e)
            ::unlink(m_part.c_str());
        else
            RecordSaved(m_directory, m_name);
        return e;
    }
    // Removes the temporary file; what was there under the name stays untouched.
    void Discard() {
        if (m_fd < 0) return;
        ::close(m_fd);
        ::unlink(m_part.c_str());
        m_fd = -1;
    }

private:
    std::string m_directory;
    std::string m_name;
    std::string m_part;
    NameUse m_use = NameUse::Free;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace

void LinkSetFilesDirectory(const std::string& directory) {
    if (!directory.empty()) RemoveLeftoverParts(directory);
    std::lock_guard g(g_dirMutex);
    g_filesDirectory = directory;
}

std::string LinkGetFilesDirectory() {
    std::lock_guard g(g_dirMutex);
    return g_filesDirectory;
}

std::vector<std::u16string> LinkTakeSavedFiles() {
    std::lock_guard g(g_dirMutex);
    return std::exchange(g_saved, {});
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
    NotSavedNotices notices;
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

        const FileNameProblem problem = CheckDeviceFileName(name);
        std::optional<IncomingFile> file;
        int error = 0;
        if (problem != FileNameProblem::None) {
            notices.Refused(name, problem);
        } else {
            file.emplace(directory, Utf16ToUtf8(name));
            if ((error = file->Error())) notices.NotSaved(name, error, directory);
        }
        const bool writing = file && !error;
        if (int st = CopyToFile(writing ? file->Fd() : -1, dataLength, error, report, name)) {
            // The end of the connection is said once, by the view; a stall is said here.
            if (writing && st == LINK_PORT_STALLED) notices.NotSaved(name, st, directory);
            return st;
        }
        if (writing) {
            if (!error) error = file->Finish();
            if (error) notices.NotSaved(name, error, directory);
        }
        const bool saved = writing && !error;
        if (!saved) result = RECEIVE_FILES_NOT_SAVED;
        if (saved) {
            std::lock_guard g(g_dirMutex);
            if (g_saved.size() < kMaxSavedKept) g_saved.push_back(name);
        }
        // The control's file is the first one; none when that was not saved.
        if (i == 0) {
            std::lock_guard g(s.lock);
            if (CLinkCtrl* entry = LinkFind(id)) entry->m_strFileName = saved ? name : u"";
        }
    }
    return result;
}
