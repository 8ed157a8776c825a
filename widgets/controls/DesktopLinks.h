// What the desktop may open for a control: the web address a Blob holds, and a file the device
// has delivered. Nothing the device names is ever run: a Blob's address must be http, https or
// mailto, and a received file is opened only as a document a browser shows (else its folder).
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

class CCtrl;

// Blob with data type 1: its data read as a zero-ended 16-bit text, when that is an http or https
// address with a host, or a mailto address.
std::optional<QUrl> BlobWebAddress(const CCtrl& c);

// The file `name` in `directory` when its extension is a document type (html, htm, txt, pdf, png,
// jpg, jpeg, gif, svg, csv, json, xml), else the folder. None when the name is not a plain file
// name, or the file is missing or a symbolic link.
std::optional<QUrl> ReceivedFileUrl(const QString& directory, const QString& name);
