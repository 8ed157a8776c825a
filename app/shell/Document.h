// The single document. It carries no data: a .Tvx file is empty. A new or opened document
// initialises the link module; closing it shuts the link down.
#pragma once

#include <QString>

class CTalvex22Doc {
public:
    bool OnNewDocument();
    // The file must exist and be readable; its content is ignored.
    bool OnOpenDocument(const QString& path);
    bool OnSaveDocument(const QString& path);
    void OnCloseDocument();
    // The file last opened, or empty for a new document.
    QString PathName() const { return m_strPathName; }

private:
    QString m_strPathName;
};
