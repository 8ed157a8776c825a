// Boxes that never stop the program: each is shown non-modal on the user-interface thread, one
// at a time (later ones wait their turn), and the same text again within a second is counted
// into the box already up or waiting instead of making another. Any thread may post; nobody
// waits for the user.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class NoticeBoxes : public QObject {
    Q_OBJECT
public:
    explicit NoticeBoxes(QObject* parent = nullptr);
    ~NoticeBoxes() override;

    void Post(const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);
    // Unattended (tests, --screenshot runs): notices are recorded and written to standard
    // error, never shown.
    void SetUnattended(bool on);
    void SetParentWindow(QWidget* window);
    // What decides a repeat: milliseconds of a steady clock (tests set their own).
    void SetClock(std::function<qint64()> clock);

    struct Notice {
        QString text;
        int count = 1;
    };
    // The last notices (at most a thousand), oldest first, with their repeats.
    std::vector<Notice> Notices() const;
    // Every notice posted so far, repeats included; unlike the history it never stops growing.
    uint64_t PostedCount() const;
    QStringList Texts() const;
    // The box on screen, if any, and how many wait behind it (user-interface thread).
    QMessageBox* Current() const { return m_box; }
    int Waiting() const;

    // The text as the box shows it.
    static QString BoxText(const QString& text, int count);

private:
    struct Entry {
        QString text;
        QMessageBox::Icon icon = QMessageBox::Warning;
        int count = 1;
        uint64_t serial = 0; // which notice this is
    };
    void Schedule();
    void Deliver();

    mutable std::mutex m_mutex;
    std::function<qint64()> m_clock;
    std::vector<Notice> m_history;
    std::deque<Entry> m_waiting;
    Entry m_current;
    bool m_hasCurrent = false;
    int m_shownCount = 0; // the count the box on screen shows
    // The last notice posted, for repeats.
    uint64_t m_serial = 0;
    uint64_t m_posted = 0;
    QString m_lastText;
    qint64 m_lastTime = 0;
    bool m_scheduled = false;
    bool m_unattended = false;
    QPointer<QWidget> m_parent;
    QPointer<QMessageBox> m_box;
};
