#include "PanelSource.h"

#include "Link.h"

void IPanelObserver::Refreshed(CCtrl& c, CtrlRefresh what) {
    if (what == CtrlRefresh::Value || what == CtrlRefresh::MatrixData)
        ValueChanged(c);
    else if (what == CtrlRefresh::Attributes)
        AttributesChanged(c);
}

QString IPanelSource::Title() const {
    return QString::fromStdU16String(LinkGetTitle());
}

QString IPanelSource::AboutText() const {
    const auto about = LinkGetAboutText();
    return about ? QString::fromStdU16String(*about) : QString();
}
