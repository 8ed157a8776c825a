// CMatrixDlg: saving the table as CSV and the chart as a picture.
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "ChartImage.h"
#include "Ctrl.h"
#include "MatrixDlg.h"

namespace {

// A save dialog that answers without blocking: the dialog, the link and the panel go on.
QFileDialog* AskFileName(QWidget* parent, const QStringList& filters, const QString& suffix) {
    auto* chooser = new QFileDialog(parent);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setFileMode(QFileDialog::AnyFile);
    chooser->setNameFilters(filters);
    chooser->setDefaultSuffix(suffix);
    return chooser;
}

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

void CMatrixDlg::SaveCsv(QChar separator) {
    QFileDialog* chooser =
        AskFileName(this, {QStringLiteral("CSV Files (*.CSV)"), QStringLiteral("All Files (*.*)")},
                    QStringLiteral("CSV"));
    connect(chooser, &QFileDialog::fileSelected, this,
            [this, separator](const QString& path) { WriteCsv(path, separator); });
    chooser->open();
}

void CMatrixDlg::WriteCsv(const QString& path, QChar separator) {
    const CCtrl* ctrl = Control();
    if (!ctrl) return;
    FileWrite result;
    {
        WaitCursor wait;
        result = WriteWholeFile(path, MatrixCsv(*ctrl, separator));
    }
    Report(result);
}

void CMatrixDlg::SaveImage() {
    QFileDialog* chooser = AskFileName(
        this, {QStringLiteral("PNG Image (*.png)"), QStringLiteral("SVG Image (*.svg)")},
        QStringLiteral("png"));
    connect(chooser, &QFileDialog::filterSelected, chooser, [chooser](const QString& filter) {
        chooser->setDefaultSuffix(filter.contains(QLatin1String("svg")) ? QStringLiteral("svg")
                                                                        : QStringLiteral("png"));
    });
    connect(chooser, &QFileDialog::fileSelected, this, &CMatrixDlg::WriteImage);
    chooser->open();
}

void CMatrixDlg::WriteImage(const QString& path) {
    const CCtrl* ctrl = Control();
    if (!ctrl) return;
    FileWrite result;
    {
        WaitCursor wait;
        result = SaveChartImage(*ctrl, size(), path);
    }
    Report(result);
}

void CMatrixDlg::Report(FileWrite result) {
    if (result == FileWrite::Written) return;
    const QString text = result == FileWrite::OpenError ? QStringLiteral("File open error")
                                                        : QStringLiteral("File write error");
    // Not blocking: the link and the data keep coming while the box is up.
    auto* box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
