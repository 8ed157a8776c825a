// The matrix dialog, the table over a Matrix control and the CSV export.
#include <climits>
#include <csignal>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ChartPainter.h"
#include "MatrixCsv.h"
#include "MatrixDlg.h"
#include "MatrixFixture.h"
#include "MatrixTableModel.h"
#include "MatrixTexts.h"
#include "MatrixViews.h"

namespace {

// Two columns named a and b, one row holding 1 and 2.
MatrixSpec TwoColumns(int style = 0) {
    MatrixSpec s;
    s.names = {u"a", u"b"};
    s.columns = {{1}, {2}};
    s.style = style;
    return s;
}

// Text labels x and y under "When"; a = 1, 2 and b = 3, 4.
MatrixSpec Labelled() {
    MatrixSpec s;
    s.flags = 2u << 16;
    s.heading = QStringLiteral("When");
    s.names = {u"a", u"b"};
    s.columns = {{1, 2}, {3, 4}};
    s.textLabels = {u"x", u"y"};
    return s;
}

QPushButton* Button(QWidget& dialog, const QString& text) {
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

TEST(MatrixCsvText, TwoColumnsWithEitherSeparator) {
    auto ctrl = MakeMatrix(TwoColumns());
    EXPECT_EQ(MatrixCsv(*ctrl, QLatin1Char(',')), QByteArray("\"a\",\"b\"\r\n1,2\r\n"));
    EXPECT_EQ(MatrixCsv(*ctrl, QLatin1Char(';')), QByteArray("\"a\";\"b\"\r\n1;2\r\n"));
}

TEST(MatrixCsvText, ReadsBackAsTheTableInASpreadsheetReader) {
    MatrixSpec s;
    s.flags = 2u << 16;
    s.heading = QStringLiteral("k\"1");
    s.names = {u"a,b", u"+x"};
    s.textLabels = {u"say \"hi\"", u"two\r\nlines", u"=1+2", u"@x;y",
                    u"-1.5e3",     u"-x",           u"\tt",  u"Z\u00E9\u4E2D"};
    s.columns = {{-5, 1, 2, 3, 4, 5, 6, 7}, {0, -1, -2, -3, -4, -5, -6, -7}};
    // What a spreadsheet would run as a formula comes back behind an apostrophe.
    const QStringList guarded = {"+x", "=1+2", "@x;y", "-x", "\tt"};
    QTemporaryDir dir;
    for (bool text16 : {false, true}) {
        s.flags = text16 ? s.flags | CTRLF_TEXT16 : s.flags & ~CTRLF_TEXT16;
        const QChar separator = text16 ? u';' : u',';
        auto ctrl = MakeMatrix(s);
        const QString path = QDir(dir.path()).filePath(text16 ? "16.csv" : "8.csv");
        CMatrixDlg dialog(*ctrl);
        dialog.WriteCsv(path, separator);

        QProcess python;
        python.start("python3", {TALVEX_SOURCE_DIR "/tests/read_csv.py", path,
                                 text16 ? "utf-16-le" : "utf-8", separator});
        ASSERT_TRUE(python.waitForFinished(10000));
        ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
        const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();

        EXPECT_EQ(rows.last().toArray()[0].toString(), QStringLiteral("Z\u00E9\u4E2D"));
        const MatrixTexts texts(*ctrl);
        const MatrixShape shape = texts.Shape();
        ASSERT_EQ(rows.size(), shape.rows + 1);
        for (int r = -1; r < shape.rows; ++r) {
            const QJsonArray fields = rows[r + 1].toArray();
            ASSERT_EQ(fields.size(), shape.Columns()) << "row " << r;
            for (int c = 0; c < shape.Columns(); ++c) {
                const QString shown = r < 0 ? texts.Heading(c) : texts.Text(r, c);
                const QString expected = guarded.contains(shown) ? "'" + shown : shown;
                EXPECT_EQ(fields[c].toString(), expected) << "row " << r << " column " << c;
            }
        }
    }
}

TEST(MatrixTable, ColumnsTextsAlignmentAndCopy) {
    auto ctrl = MakeMatrix(Labelled());
    QTableView view;
    AttachMatrixViews(*ctrl, nullptr, &view);
    const QAbstractItemModel* model = view.model();
    ASSERT_EQ(model->columnCount(), 3);
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "When");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "b");
    EXPECT_EQ(model->index(1, 0).data().toString(), "y");
    EXPECT_EQ(model->index(1, 2).data().toString(), "4");
    EXPECT_EQ(model->index(0, 0).data(Qt::TextAlignmentRole).toInt(),
              Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(model->index(0, 1).data(Qt::TextAlignmentRole).toInt(),
              Qt::AlignRight | Qt::AlignVCenter);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(view.columnWidth(c), 80);
    EXPECT_FALSE(view.horizontalHeader()->sectionsClickable());

    view.selectionModel()->select(model->index(0, 1), QItemSelectionModel::Select);
    view.selectionModel()->select(model->index(1, 2), QItemSelectionModel::Select);
    ASSERT_FALSE(view.actions().isEmpty());
    EXPECT_EQ(view.actions().first()->shortcut(), QKeySequence(QKeySequence::Copy));
    view.actions().first()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "a\tb\n1\t\n\t4\n");
}

TEST(MatrixDialog, OpensInTheStylesViewAndHashSwitches) {
    auto table = MakeMatrix(TwoColumns(3));
    CMatrixDlg tableDlg(*table);
    tableDlg.show();
    EXPECT_EQ(tableDlg.windowTitle(), "Matrix Data  Display");
    EXPECT_TRUE(tableDlg.ShowsTable());
    EXPECT_TRUE(tableDlg.Table()->isVisible());
    EXPECT_FALSE(Button(tableDlg, "#")->isVisible());
    for (const char* text : {"Close", "Save ','", "Save ';'"}) EXPECT_TRUE(Button(tableDlg, text));

    auto chart = MakeMatrix(TwoColumns(0));
    CMatrixDlg chartDlg(*chart);
    chartDlg.show();
    EXPECT_FALSE(chartDlg.ShowsTable());
    EXPECT_FALSE(chartDlg.Table()->isVisible());
    QPushButton* hash = Button(chartDlg, "#");
    ASSERT_TRUE(hash && hash->isVisible());
    hash->click();
    EXPECT_TRUE(chartDlg.Table()->isVisible());
    EXPECT_TRUE(hash->isVisible());
    hash->click();
    EXPECT_FALSE(chartDlg.Table()->isVisible());

    // Resizing keeps the buttons' sizes in the top right corner, the table beside them.
    chartDlg.resize(600, 400);
    const QPushButton* close = Button(chartDlg, "Close");
    const QPushButton* semicolon = Button(chartDlg, "Save ';'");
    EXPECT_EQ(close->geometry().topLeft(), QPoint(600 - close->width() - 10, 10));
    EXPECT_EQ(hash->geometry().right() + 1, close->x());
    EXPECT_EQ(Button(chartDlg, "Save ','")->y(), 10 + close->height());
    EXPECT_EQ(semicolon->y(), 10 + close->height() + semicolon->height());
    EXPECT_EQ(chartDlg.Table()->geometry().topLeft(), QPoint(10, 10));
    EXPECT_EQ(chartDlg.Table()->geometry().bottom(), 379);
}

TEST(MatrixDialog, ButtonsNeverCoverTheChartAtAnySize) {
    MatrixSpec s = TwoColumns(0);
    s.columns = {{1, 5, 9}, {2, 6, 9}}; // the newest data in the top right corner
    auto ctrl = MakeMatrix(s);
    CMatrixDlg dialog(*ctrl);
    dialog.show();
    for (const QSize size : {QSize(1, 1), QSize(300, 200), dialog.size(), QSize(1200, 800)}) {
        dialog.resize(size);
        // Left of the buttons' column the dialog shows the chart and nothing else.
        int column = dialog.width();
        for (const QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->isVisible()) column = std::min(column, b->x());
        const QRect area(0, 0, column - 10, dialog.height());
        ASSERT_GE(area.width(), 100) << size.width();
        QImage expected(area.size(), QImage::Format_RGB32);
        expected.fill(dialog.palette().color(QPalette::Window));
        QPainter p(&expected);
        DrawMatrixChart(p, expected.rect(), *ctrl, true);
        p.end();
        const QImage shown = dialog.grab(area).toImage().convertToFormat(expected.format());
        EXPECT_EQ(shown, expected) << size.width() << " x " << size.height();
    }
}

TEST(MatrixDialog, SavesTheTableTextsFromChartView) {
    QTemporaryDir dir;
    auto ctrl = MakeMatrix(Labelled());
    CMatrixDlg dialog(*ctrl);
    dialog.show();
    ASSERT_FALSE(dialog.ShowsTable());
    Button(dialog, "Save ';'")->click();
    auto* chooser = dialog.findChild<QFileDialog*>();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->nameFilters(), (QStringList{"CSV Files (*.CSV)", "All Files (*.*)"}));
    EXPECT_EQ(chooser->defaultSuffix(), "CSV");
    EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(chooser->testOption(QFileDialog::DontConfirmOverwrite));
    chooser->selectFile(QDir(dir.path()).filePath("export"));
    QMetaObject::invokeMethod(chooser, "accept"); // as the Save button does

    QByteArray shown;
    const QAbstractItemModel* model = dialog.Table()->model();
    for (int r = -1; r < model->rowCount(); ++r) {
        for (int c = 0; c < model->columnCount(); ++c) {
            if (c > 0) shown += ';';
            shown += r < 0 ? '"' + model->headerData(c, Qt::Horizontal).toString().toLatin1() + '"'
                           : model->index(r, c).data().toString().toLatin1();
        }
        shown += "\r\n";
    }
    EXPECT_EQ(Read(QDir(dir.path()).filePath("export.CSV")), shown);
}

TEST(MatrixDialog, FailedWritesAreReportedAndKeepTheEarlierFile) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("kept.csv");
    {
        QFile earlier(path);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
    }
    auto ctrl = MakeMatrix(Labelled());
    CMatrixDlg dialog(*ctrl);

    // The file may grow to 8 bytes only: the write fails like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{8, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    dialog.WriteCsv(path, QLatin1Char(','));
    setrlimit(RLIMIT_FSIZE, &limit);
    auto* box = dialog.findChild<QMessageBox*>();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "File write error");
    EXPECT_EQ(Read(path), "earlier");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.csv"});
    delete box;

    dialog.WriteCsv(QDir(dir.path()).filePath("no/such/dir.csv"), QLatin1Char(','));
    box = dialog.findChild<QMessageBox*>();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "File open error");
}

TEST(MatrixDialog, SavesTheChartAsPngOrSvg) {
    QTemporaryDir dir;
    auto ctrl = MakeMatrix(Labelled());
    CMatrixDlg dialog(*ctrl);
    dialog.resize(500, 300);
    const QString png = QDir(dir.path()).filePath("chart.png");
    const QString svg = QDir(dir.path()).filePath("chart.SVG");
    dialog.WriteImage(png);
    dialog.WriteImage(svg);
    EXPECT_FALSE(dialog.findChild<QMessageBox*>());
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(500, 300));
    EXPECT_EQ(image.pixel(39, 100), qRgb(0, 0, 0)); // the value axis
    const QByteArray vector = Read(svg);
    EXPECT_TRUE(vector.startsWith("<?xml"));
    EXPECT_TRUE(vector.contains("<svg"));
}

TEST(MatrixDialog, StreamedRowsRepaintAtTheFrameRateAndTheControlMayGo) {
    MatrixSpec s;
    s.maxRows = 400;
    s.names = {u"v"};
    s.columns = {std::vector<int32_t>(400)};
    for (int r = 0; r < 400; ++r) s.columns[0][size_t(r)] = r % 37;
    MatrixHost host;
    auto ctrl = MakeMatrix(s, &host);
    PushRows(*ctrl, s, 1);
    QPointer<CMatrixDlg> dialog = OpenMatrixDialog(*ctrl, nullptr);
    EXPECT_EQ(ctrl->m_pMatrixDlg, dialog.data());
    EXPECT_EQ(OpenMatrixDialog(*ctrl, nullptr), dialog.data());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QCoreApplication::processEvents();
    PaintCounter counter(dialog);

    // 300 rows at one a millisecond, then all but 5 removed.
    int rows = 1;
    bool growing = true;
    QTimer feeder;
    QEventLoop streaming;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (!growing) {
            feeder.stop();
            streaming.quit();
        }
        rows = growing ? rows + 1 : 5;
        growing = growing && rows < 300;
        PushRows(*ctrl, s, rows);
    });
    host.refreshes = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    feeder.setTimerType(Qt::PreciseTimer);
    feeder.start(1);
    streaming.exec();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Model()->rowCount() == 5; }));
    QTest::qWait(50);
    EXPECT_EQ(host.refreshes, 300); // 299 rows more, then fewer
    EXPECT_GE(counter.paints, 1);
    const int frame = 1000 / std::max(1, int(dialog->screen()->refreshRate()));
    EXPECT_LE(counter.paints, elapsed.elapsed() / frame + 3) << elapsed.elapsed() << " ms";
    Button(*dialog, "#")->click();
    EXPECT_EQ(dialog->Table()->model()->rowCount(), 5);

    // The control goes while the dialog is open (the panel was rebuilt): nothing reads it.
    ctrl.reset();
    dialog->repaint();
    dialog->Model()->Sync();
    EXPECT_EQ(dialog->Model()->rowCount(), 0);
    dialog->WriteCsv(QStringLiteral("/nonexistent/x.csv"), QLatin1Char(','));
    EXPECT_FALSE(dialog->findChild<QMessageBox*>());
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dialog);
}

TEST(MatrixViews, PanelChartAndTableFollowTheControl) {
    MatrixSpec s = Labelled();
    s.maxRows = 10;
    MatrixHost host;
    auto ctrl = MakeMatrix(s, &host);
    QWidget chart;
    chart.resize(200, 120);
    QTableView table;
    host.chart = &chart;
    host.table = &table;
    AttachMatrixViews(*ctrl, &chart, &table);
    const QImage image = chart.grab().toImage();
    EXPECT_EQ(image.pixel(23, 60), qRgb(0, 0, 0)); // the compact chart's value axis
    EXPECT_EQ(table.model()->rowCount(), 2);

    PushRows(*ctrl, s, 1);
    EXPECT_EQ(ctrl->m_nListRows, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return table.model()->rowCount() == 1; }));

    // A control that goes closes its dialog.
    QPointer<CMatrixDlg> dialog = OpenMatrixDialog(*ctrl, nullptr);
    CloseMatrixDialog(*ctrl);
    EXPECT_EQ(ctrl->m_pMatrixDlg, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dialog);
}

TEST(MatrixTable, AbsurdDimensionsStayBounded) {
    auto ctrl = MakeMatrix(TwoColumns());
    ctrl->m_nCols = INT_MAX; // announced far beyond the buffers
    ctrl->m_nMaxRows = INT_MAX;
    ctrl->m_nRows = INT_MIN;
    for (uint32_t kind : {0u, 1u, 2u, 3u}) {
        ctrl->m_dwFlags = kind << 16;
        const MatrixShape shape = MatrixShapeOf(*ctrl);
        EXPECT_EQ(shape.series, 65536);
        EXPECT_LE(static_cast<long long>(shape.rows) * shape.Columns(), 0x100000);
        MatrixTableModel model(*ctrl);
        EXPECT_EQ(model.rowCount(), shape.rows);
        EXPECT_LT(MatrixCsv(*ctrl, QLatin1Char(',')).size(), 8 << 20);
    }
    QImage image(200, 120, QImage::Format_RGB32); // 65536 series of 16 rows each
    QPainter p(&image);
    DrawMatrixChart(p, image.rect(), *ctrl, true);
}
