// The value log: every value appended, as a CSV line, to the panel's file of the day in a folder
// ("<panel>-YYYY-MM-DD.csv": local time with milliseconds and offset, control, value as shown,
// raw value). Values wait in a bounded queue and are written by a thread of its own, so the
// link never waits for the disk; when the queue is full the oldest wait no longer, and a line
// says how many were dropped. The folder's log files together stay within a size limit, the
// oldest removed first. Qt Core only.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

// The time values are stamped with; tests put a clock of their own in its place. A time in UTC
// is written as local time (the conversion is left to the writer: it costs more than the rest
// of an append).
class CValueLogClock {
public:
    virtual ~CValueLogClock() = default;
    virtual QDateTime Now() const { return QDateTime::currentDateTimeUtc(); }
};

class CValueLog : public QObject {
    Q_OBJECT
public:
    static constexpr size_t kDefaultQueue = 20000;
    // The queue's texts together, in characters: long matrix rows must not pile up either.
    static constexpr size_t kMaxQueuedChars = size_t(16) << 20;
    static constexpr qint64 kDefaultLimit = qint64(1) << 30;
    // `clock` (not owned) stamps the values; the program's clock when null.
    explicit CValueLog(const CValueLogClock* clock = nullptr, size_t queueLimit = kDefaultQueue,
                       QObject* parent = nullptr);
    // Writes what is queued, then stops.
    ~CValueLog() override;

    // Starts writing into `folder` (made when missing), its log files kept within `limitBytes`;
    // a log already running is stopped first.
    void Start(const QString& folder, qint64 limitBytes);
    // Writes what is queued, then stops.
    void Stop();
    bool IsOn() const { return m_thread.joinable() && !m_bFailed; }
    // The panel the values from now on belong to; its title becomes a safe file name.
    void SetPanel(const QString& title);
    // Queues one value stamped now; never waits for the disk.
    void Append(const QString& control, const QString& shown, const QString& raw);
    // Values let go before they were queued (more than the queue holds came at once): counted
    // with the dropped ones.
    void AddDropped(uint64_t count);
    size_t QueueLimit() const { return m_nQueueLimit; }
    // Waits until everything queued so far has been written (or dropped); not while held.
    void Flush();
    // Holds the writer back while `held` (the queue fills as if the disk stalled), for tests
    // and benchmarks.
    void HoldWriter(bool held);

    // The title as a file name: letters, digits, blanks, "-" and "_" only (anything else, path
    // separators and dots included, becomes "_"), at most 64 characters, never empty.
    static QString FileBase(const QString& title);
    // "<base>-YYYY-MM-DD.csv".
    static QString FileName(const QString& base, const QDate& day);
    // The first line of every log file.
    static const char* Header();

signals:
    // The folder cannot be written: the log has turned itself off. Once per Start.
    void Failed(const QString& why);

private:
    struct Entry {
        QDateTime time;
        QString panel;
        QString control, shown, raw;
        size_t Chars() const { return size_t(control.size() + shown.size() + raw.size()); }
    };
    void Run(QString folder, qint64 limitBytes);

    const CValueLogClock* m_pClock;
    const size_t m_nQueueLimit;
    QString m_strPanel;
    std::mutex m_mutex;
    std::condition_variable m_wake; // the writer: entries, or stop
    std::condition_variable m_done; // Flush: entries written
    std::deque<Entry> m_queue;      // guarded by m_mutex, as the counters below
    size_t m_nQueuedChars = 0;
    uint64_t m_nQueued = 0;   // every value appended since Start
    uint64_t m_nFinished = 0; // of those, written or dropped
    uint64_t m_nDropped = 0;  // dropped and not said yet
    bool m_bStop = false;
    bool m_bHeld = false;
    int m_nFlushing = 0; // Flush calls waiting
    std::atomic<bool> m_bFailed{false};
    std::thread m_thread;
};
