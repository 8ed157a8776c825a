// The value log: what lands in the day's file from the device and the user, CSV fields, the
// roll-over at midnight, the folder's size limit, a queue that overflows, a folder that cannot be
// written, and titles that try to leave the folder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <utime.h>

#include "Frame.h"
#include "ValueLog.h"
#include "ValueLogDialog.h"
#include "ValueLogSettings.h"
#include "ViewHarness.h"

namespace {

using namespace std::string_literals;

class ManualClock : public CValueLogClock {
public:
    QDateTime Now() const override { return now; }
    QDateTime now{QDate(2026, 3, 1), QTime(12, 0), Qt::OffsetFromUTC, 2 * 3600};
};

Bytes Cat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

QStringList Lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QString Header() {
    return QString::fromLatin1(CValueLog::Header());
}

void WriteFile(const QString& path, const QByteArray& bytes, qint64 secondsOld = 0) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    if (secondsOld) {
        const time_t t = time(nullptr) - secondsOld;
        const utimbuf times{t, t};
        ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
    }
}

class ValueLogFiles : public ::testing::Test {
protected:
    void Start(qint64 limit = CValueLog::kDefaultLimit) { log.Start(dir.path(), limit); }
    QString File(const QString& base, const QDate& day) const {
        return dir.filePath(CValueLog::FileName(base, day));
    }
    QDate Today() const { return clock.now.date(); }

    QTemporaryDir dir;
    ManualClock clock;
    CValueLog log{&clock, 4};
};

} // namespace

TEST_F(ValueLogFiles, FieldsAreQuotedAndFormulasDisarmedAsInTheMatrixExport) {
    Start();
    log.SetPanel(QStringLiteral("Rig"));
    log.Append(QStringLiteral("a,b"), QStringLiteral("say \"hi\""), QStringLiteral("=SUM(A1)"));
    log.Append(QStringLiteral("-x"), QStringLiteral("-5"), QStringLiteral("line\nbreak"));
    log.Flush();
    EXPECT_EQ(
        Lines(File(QStringLiteral("Rig"), Today())),
        (QStringList{Header(),
                     QStringLiteral("2026-03-01T12:00:00.000+02:00,\"a,b\",\"say \"\"hi\"\"\","
                                    "'=SUM(A1)"),
                     QStringLiteral("2026-03-01T12:00:00.000+02:00,'-x,-5,\"line\nbreak\"")}));
}

TEST_F(ValueLogFiles, MidnightStartsTheNextDaysFile) {
    Start();
    clock.now = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 900), Qt::OffsetFromUTC, -5 * 3600);
    log.Append(QStringLiteral("T"), QStringLiteral("1"), QStringLiteral("1"));
    clock.now = clock.now.addMSecs(200);
    log.Append(QStringLiteral("T"), QStringLiteral("2"), QStringLiteral("2"));
    log.Flush();
    const QString base = CValueLog::FileBase(QString());
    EXPECT_EQ(Lines(File(base, QDate(2026, 3, 1))),
              (QStringList{Header(), QStringLiteral("2026-03-01T23:59:59.900-05:00,T,1,1")}));
    EXPECT_EQ(Lines(File(base, QDate(2026, 3, 2))),
              (QStringList{Header(), QStringLiteral("2026-03-02T00:00:00.100-05:00,T,2,2")}));
}

TEST_F(ValueLogFiles, TheFoldersLogFilesStayWithinTheLimitOldestRemovedFirst) {
    const QByteArray old = (Header() + "\r\n").toLatin1() + QByteArray(700, 'x');
    WriteFile(dir.filePath("Rig-2026-01-01.csv"), old, 3 * 86400);
    WriteFile(dir.filePath("Rig-2026-01-02.csv"), old, 2 * 86400);
    // Not this program's: another header, another name.
    WriteFile(dir.filePath("notes-2020-01-01.csv"), QByteArray(5000, 'n'), 9 * 86400);
    WriteFile(dir.filePath("notes.csv"), (Header() + "\r\n").toLatin1() + QByteArray(5000, 'n'),
              9 * 86400);
    Start(2000);
    log.SetPanel(QStringLiteral("Rig"));
    for (int i = 0; i < 4; ++i) log.Append(QStringLiteral("T"), QString(100, 'v'), QString());
    log.Flush();
    EXPECT_FALSE(QFile::exists(dir.filePath("Rig-2026-01-01.csv")));
    EXPECT_TRUE(QFile::exists(dir.filePath("Rig-2026-01-02.csv")));
    EXPECT_TRUE(QFile::exists(dir.filePath("notes-2020-01-01.csv")));
    EXPECT_TRUE(QFile::exists(dir.filePath("notes.csv")));
    EXPECT_EQ(Lines(File(QStringLiteral("Rig"), Today())).size(), 5);
}

TEST_F(ValueLogFiles, AFullQueueDropsTheOldestAndSaysHowMany) {
    Start();
    log.HoldWriter(true);
    for (int i = 1; i <= 10; ++i)
        log.Append(QStringLiteral("T"), QString::number(i), QString::number(i));
    log.HoldWriter(false);
    log.Flush();
    const QString t = QStringLiteral("2026-03-01T12:00:00.000+02:00");
    EXPECT_EQ(Lines(File(CValueLog::FileBase(QString()), Today())),
              (QStringList{Header(), t + ",,6 values dropped,6", t + ",T,7,7", t + ",T,8,8",
                           t + ",T,9,9", t + ",T,10,10"}));
}

TEST_F(ValueLogFiles, AHostileTitleStaysInsideTheFolder) {
    for (const QString& title :
         {QStringLiteral("../../etc/passwd"), QStringLiteral(".."), QStringLiteral("a\\b/c"),
          QStringLiteral(" \t"), QStringLiteral("x\u202Egpj.exe\u200B"), QString(500, 'y')}) {
        const QString base = CValueLog::FileBase(title);
        EXPECT_FALSE(base.isEmpty());
        EXPECT_LE(base.size(), 64);
        EXPECT_FALSE(base.contains(QRegularExpression(QStringLiteral("[./\\\\\\x00-\\x1F\\x{200B}"
                                                                     "\\x{202E}]"))))
            << base.toStdString();
    }
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("logs"));
    log.Start(folder, CValueLog::kDefaultLimit);
    log.SetPanel(QStringLiteral("../../escaped"));
    log.Append(QStringLiteral("T"), QStringLiteral("1"), QStringLiteral("1"));
    log.Flush();
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("logs")});
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{CValueLog::FileName(QStringLiteral("______escaped"), Today())});
}

namespace {

// A number, a latch, a matrix of two 8-bit columns, and a control left out of the log.
class ViewValueLog : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        Start();
        Connect();
        LoadPanel("Rig/1", {Definition('N', 0, 1, U32Bytes(0),
                                       {{'Z', AnsiZ("Temp, \"in\"")}, {'f', AnsiZ("%% C")}}),
                            Definition('G', 0, 2, {0}, {{'Z', AnsiZ("Pump")}}),
                            Definition('M', 2u << 20, 3, Cat({Bytes(4, 0), U32Bytes(0)}),
                                       {{'Z', AnsiZ("Flow")},
                                        {'n', U32Bytes(2)},
                                        {'N', U32Bytes(2)},
                                        {'A', AnsiZ("a\0b"s)},
                                        {'F', AnsiZ("%%")}}),
                            Definition('N', 0, 4, U32Bytes(0), {{'Z', AnsiZ("Skip me")}})});
        device.Sent(); // the layout request
    }
    // Settings > Log Values, as the user fills it in.
    void Configure(const QString& folder, const QString& leaveOut) {
        boxes.intercept = [&](QWidget* w) {
            auto* dialog = qobject_cast<CValueLogDialog*>(w);
            if (!dialog) return false;
            dialog->findChild<QCheckBox*>()->setChecked(true);
            for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
                if (edit->text() == ValueLogSettings::DefaultFolder()) edit->setText(folder);
            QListWidget* list = dialog->findChild<QListWidget*>();
            for (int row = 0; row < list->count(); ++row)
                if (list->item(row)->text() == leaveOut)
                    list->item(row)->setCheckState(Qt::Unchecked);
            dialog->accept();
            return true;
        };
        view->OnCommand(ID_LOG_VALUES);
        boxes.intercept = nullptr;
    }
    QTemporaryDir logs;
};

} // namespace

TEST_F(ViewValueLog, DeviceValuesMatrixRowsAndTheUsersChangesLandInTheDaysFile) {
    Configure(logs.path(), QStringLiteral("Skip me"));
    ASSERT_TRUE(view->ValueLog().Log().IsOn());
    peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{1, U32Bytes(21)}, {4, U32Bytes(5)}}));
    ASSERT_TRUE(WaitFor([&] { return Ctrl(1).m_nValue == 21; }));
    // Two rows arrive: (1, 2) in row 0 and (3, 4) in row 1.
    peer.WriteFrame(MSG_MATRIX_ROWS, 0,
                    ItemList({{3, Cat({{1, 2}, U32Bytes(1), U32Bytes(0)})},
                              {3, Cat({{3, 4}, U32Bytes(2), U32Bytes(1)})}}));
    ASSERT_TRUE(WaitFor([&] { return Ctrl(3).m_nRows == 2; }));
    QTest::mouseClick(static_cast<QWidget*>(Ctrl(2).m_pButton), Qt::LeftButton);
    view->ValueLog().Log().Flush();

    const QStringList files = QDir(logs.path()).entryList({QStringLiteral("*.csv")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Rig_1-\\d{4}-\\d{2}-\\d{2}\\.csv$"))
                    .match(files.first())
                    .hasMatch())
        << files.first().toStdString();
    QStringList lines = Lines(logs.filePath(files.first()));
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.takeFirst(), Header());
    const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3}[+-]\\d{2}:\\d{2},"));
    for (QString& line : lines) {
        ASSERT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
        line.remove(stamp);
    }
    EXPECT_EQ(lines,
              (QStringList{QStringLiteral("\"Temp, \"\"in\"\"\",21 C,21"),
                           QStringLiteral("Flow,1; 2,1; 2"), QStringLiteral("Flow,3; 4,3; 4"),
                           QStringLiteral("Pump,On,255")}));
}

TEST_F(ViewValueLog, AFolderThatCannotBeWrittenSaysSoOnceAndTurnsLoggingOff) {
    const QString notAFolder = logs.filePath(QStringLiteral("file"));
    WriteFile(notAFolder, "x");
    Configure(notAFolder, QString());
    ASSERT_TRUE(WaitFor([&] { return !notices.Texts().isEmpty(); }));
    EXPECT_FALSE(view->ValueLog().Log().IsOn());
    peer.WriteFrame(MSG_DEVICE_VALUES, 0, ItemList({{1, U32Bytes(22)}}));
    ASSERT_TRUE(WaitFor([&] { return Ctrl(1).m_nValue == 22; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(notices.Texts().size(), 1);
    EXPECT_TRUE(notices.Texts().first().startsWith(QStringLiteral("Value logging is off: ")))
        << notices.Texts().first().toStdString();
    EXPECT_FALSE(ReadValueLogSettings().on);
}
