#include "Document.h"

#include <QFile>

#include "Link.h"

bool CTalvex22Doc::OnNewDocument() {
    LinkInit();
    return true;
}

bool CTalvex22Doc::OnOpenDocument(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // The port can only be opened on an initialised link, whichever way the document came.
    LinkInit();
    m_strPathName = path;
    return true;
}

bool CTalvex22Doc::OnSaveDocument(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void CTalvex22Doc::OnCloseDocument() {
    LinkShutdown();
}
