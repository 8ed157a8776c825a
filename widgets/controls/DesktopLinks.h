// What the desktop may open for a control: the web address a Blob holds, and a file the device
// has delivered. Nothing the device names is ever run: a Blob's address must be http, https or
// mailto, and a received file is opened only as a passive document (else its folder is shown).
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class CCtrl;

// The desktop's URL handler, injected so that tests record what would be opened.
class IDesktopOpener {
public:
    virtual ~IDesktopOpener() = default;
    // Never through a shell; false when no program could open it.
    virtual bool Open(const QUrl& url) = 0;
};

// QDesktopServices.
IDesktopOpener& SystemDesktopOpener();

// Opens `url`; when no program can, `notice` says so, naming the address or the path.
void OpenOnDesktop(IDesktopOpener& opener, const QUrl& url,
                   const std::function<void(const QString&)>& notice);

// Blob with data type 1: its data read as a zero-ended 16-bit text, when that is an http or https
// address with a host, or a mailto address (kept: the address, subject, body and cc).
std::optional<QUrl> BlobWebAddress(const CCtrl& c);

// The file `name` in `directory` when its extension is a passive document type (txt, csv, log,
// json, pdf, png, jpg, jpeg, gif), else the folder. None when the name is not one the link
// accepts, or the file is missing or a symbolic link.
std::optional<QUrl> ReceivedFileUrl(const QString& directory, const QString& name);
