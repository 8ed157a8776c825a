#include "ValueLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "CsvField.h"

namespace {

constexpr int kMaxFileBase = 64;
// How long the writer gathers values before it writes them.
constexpr std::chrono::milliseconds kGather(50);
const QLatin1String kLineEnd("\r\n");

QByteArray HeaderLine() {
    return QByteArray(CValueLog::Header()) + "\r\n";
}

// ISO 8601 with milliseconds and the offset from UTC, also for local times.
QString IsoTime(const QDateTime& t) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return QLocale::c().toString(t, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
           QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

bool WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// The log files of a folder, one open at a time, together within the limit.
class LogFolder {
public:
    LogFolder(QString dir, qint64 limit) : m_dir(std::move(dir)), m_nLimit(limit) {}
    ~LogFolder() { Close(); }

    // Appends `lines` to the file `name`; empty, or why it could not.
    QString Write(const QString& name, const QByteArray& lines) {
        if (name != m_strName || m_fd < 0) {
            Close();
            if (QString why = Open(name); !why.isEmpty()) return why;
        }
        if (m_nTotal + lines.size() > m_nLimit && !Prune(lines.size()))
            return QStringLiteral("%1 cannot be started anew").arg(name);
        if (!WriteAll(m_fd, lines)) return QString::fromLocal8Bit(std::strerror(errno));
        m_nTotal += lines.size();
        return {};
    }

private:
    struct LogFile {
        qint64 modified = 0, size = 0;
        QString name;
    };

    QByteArray Path(const QString& name) const { return QFile::encodeName(m_dir + u'/' + name); }

    // A symbolic link in the file's place is replaced, never followed; nothing but a plain file
    // is written to.
    QString Open(const QString& name) {
        const QByteArray path = Path(name);
        const int flags = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(path.constData(), flags, 0644);
        if (fd < 0 && errno == ELOOP && ::unlink(path.constData()) == 0)
            fd = ::open(path.constData(), flags, 0644);
        if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return QStringLiteral("%1 is not a plain file").arg(name);
        }
        m_fd = fd;
        m_strName = name;
        if (st.st_size == 0 && !WriteAll(m_fd, HeaderLine())) {
            Close();
            return QString::fromLocal8Bit(std::strerror(errno));
        }
        m_nTotal = 0;
        for (const LogFile& f : LogFiles()) m_nTotal += f.size;
        return {};
    }

    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

    // The files this program wrote: a dated name and the log's header line.
    std::vector<LogFile> LogFiles() const {
        static const QRegularExpression dated(QStringLiteral("^.+-\\d{4}-\\d{2}-\\d{2}\\.csv$"));
        const QByteArray header = HeaderLine();
        std::vector<LogFile> files;
        const QStringList names = QDir(m_dir).entryList({QStringLiteral("*.csv")}, QDir::Files);
        for (const QString& name : names) {
            if (!dated.match(name).hasMatch()) continue;
            const QByteArray path = Path(name);
            const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) continue;
            struct stat st;
            QByteArray first(header.size(), 0);
            const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                              ::read(fd, first.data(), size_t(first.size())) == first.size() &&
                              first == header;
            ::close(fd);
            if (ours)
                files.push_back({qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000,
                                 qint64(st.st_size), name});
        }
        return files;
    }

    // Removes the oldest log files until `incoming` more bytes fit; the file in use goes last,
    // and is started anew. False when it cannot be.
    bool Prune(qint64 incoming) {
        std::vector<LogFile> files = LogFiles();
        std::sort(files.begin(), files.end(), [this](const LogFile& a, const LogFile& b) {
            const bool aOpen = a.name == m_strName, bOpen = b.name == m_strName;
            if (aOpen != bOpen) return bOpen;
            return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
        });
        qint64 total = 0;
        for (const LogFile& f : files) total += f.size;
        for (const LogFile& f : files) {
            if (total + incoming <= m_nLimit) break;
            if (::unlink(Path(f.name).constData()) != 0) continue;
            total -= f.size;
            if (f.name == m_strName) {
                Close();
                if (!Open(f.name).isEmpty()) return false;
                return true; // Open counted the folder again
            }
        }
        m_nTotal = total;
        return true;
    }

    const QString m_dir;
    const qint64 m_nLimit;
    QString m_strName;
    int m_fd = -1;
    qint64 m_nTotal = 0; // the folder's log files, the open one included
};

} // namespace

CValueLog::CValueLog(const CValueLogClock* clock, size_t queueLimit, QObject* parent)
    : QObject(parent), m_pClock(clock), m_nQueueLimit(std::max<size_t>(queueLimit, 1)),
      m_strPanel(FileBase(QString())) {}

CValueLog::~CValueLog() {
    Stop();
}

const char* CValueLog::Header() {
    return "Time,Control,Value,Raw value";
}

QString CValueLog::FileBase(const QString& title) {
    QString base;
    for (QChar c : title) {
        if (base.size() >= kMaxFileBase) break;
        const bool plain = c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_';
        base += plain ? c : QChar(u'_');
    }
    base = base.trimmed();
    return base.isEmpty() ? QStringLiteral("Talvex") : base;
}

QString CValueLog::FileName(const QString& base, const QDate& day) {
    return QStringLiteral("%1-%2.csv").arg(base, day.toString(QStringLiteral("yyyy-MM-dd")));
}

void CValueLog::Start(const QString& folder, qint64 limitBytes) {
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = false;
        m_queue.clear();
        m_nQueuedChars = 0;
        m_nQueued = m_nFinished = m_nDropped = 0;
    }
    m_bFailed = false;
    m_thread = std::thread(&CValueLog::Run, this, folder, limitBytes);
}

void CValueLog::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CValueLog::SetPanel(const QString& title) {
    const QString base = FileBase(title);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strPanel = base;
}

void CValueLog::Append(const QString& control, const QString& shown, const QString& raw) {
    if (!IsOn()) return;
    Entry e{m_pClock ? m_pClock->Now() : QDateTime::currentDateTimeUtc(), QString(), control, shown,
            raw};
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        e.panel = m_strPanel;
        const size_t chars = e.Chars();
        while (!m_queue.empty() &&
               (m_queue.size() >= m_nQueueLimit || m_nQueuedChars + chars > kMaxQueuedChars)) {
            m_nQueuedChars -= m_queue.front().Chars();
            m_queue.pop_front();
            ++m_nDropped;
            ++m_nFinished;
        }
        m_nQueuedChars += chars;
        wake = m_queue.empty() || m_queue.size() == m_nQueueLimit / 2;
        m_queue.push_back(std::move(e));
        ++m_nQueued;
    }
    // The writer gathers for a moment once woken: a steady stream wakes it a few times a second.
    if (wake) m_wake.notify_one();
}

void CValueLog::AddDropped(uint64_t count) {
    if (!IsOn() || count == 0) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nDropped += count;
}

void CValueLog::Flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t target = m_nQueued;
    ++m_nFlushing;
    m_wake.notify_one();
    m_done.wait(lock, [&] { return m_nFinished >= target || !m_thread.joinable(); });
    --m_nFlushing;
}

void CValueLog::HoldWriter(bool held) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHeld = held;
    }
    m_wake.notify_one();
}

void CValueLog::Run(QString folder, qint64 limitBytes) {
    QString why;
    if (folder.isEmpty())
        why = QStringLiteral("no folder is set");
    else if (!QDir().mkpath(folder))
        why = QStringLiteral("the folder cannot be made");
    LogFolder files(folder, limitBytes);
    // Said once, and the log is off: what comes meanwhile is let go.
    auto fail = [&] {
        if (why.isEmpty() || m_bFailed.exchange(true)) return;
        const QString text = QStringLiteral("Value logging is off: %1 cannot be written (%2).")
                                 .arg(QDir::toNativeSeparators(folder), why);
        QMetaObject::invokeMethod(
            this, [this, text] { emit Failed(text); }, Qt::QueuedConnection);
    };
    fail();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || (!m_bHeld && !m_queue.empty()); });
        m_wake.wait_for(lock, kGather, [this] {
            return m_bStop || m_nFlushing > 0 || m_queue.size() >= m_nQueueLimit / 2;
        });
        if (m_bHeld && !m_bStop) continue;
        std::deque<Entry> batch;
        batch.swap(m_queue);
        m_nQueuedChars = 0;
        const uint64_t dropped = std::exchange(m_nDropped, 0);
        const bool stopping = m_bStop;
        lock.unlock();
        if (why.isEmpty() && !batch.empty()) {
            // One write per file: the lines of a batch mostly go to the same one.
            QString lines, name;
            auto flush = [&] {
                if (!lines.isEmpty() && why.isEmpty())
                    if (QString error = files.Write(name, lines.toUtf8()); !error.isEmpty())
                        why = QStringLiteral("%1: %2").arg(name, error);
                lines.clear();
            };
            auto line = [&](const Entry& e, const QString& control, const QString& shown,
                            const QString& raw) {
                const QDateTime time = e.time.timeSpec() == Qt::UTC ? e.time.toLocalTime() : e.time;
                const QString file = FileName(e.panel, time.date());
                if (file != name) {
                    flush();
                    name = file;
                }
                lines += IsoTime(time);
                for (const QString* field : {&control, &shown, &raw}) {
                    lines += u',';
                    AppendCsvField(lines, *field, u',');
                }
                lines += kLineEnd;
            };
            if (dropped)
                line(batch.front(), QString(), QStringLiteral("%1 values dropped").arg(dropped),
                     QString::number(dropped));
            for (const Entry& e : batch) line(e, e.control, e.shown, e.raw);
            flush();
        }
        fail();
        lock.lock();
        m_nFinished += batch.size();
        m_done.notify_all();
        if (stopping && m_queue.empty()) break;
    }
}
