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
};
