// The settings dialogs the view opens: Com Ports, Pings, Layout Controls, Log Values and a
// Password control's dialog. Each runs its own event loop, so none is opened under the link lock;
// the link's outcomes go on being handled while one is open.
#include "BluetoothLine.h"
#include "ComPorts.h"
#include "ControlSelect.h"
#include "Ctrl.h"
#include "PasswordFS.h"
#include "PingSettings.h"
#include "Talvex22View.h"
#include "ValueLogDialog.h"
#include "WindowModal.h"

QString CTalvex22View::PortPathToOpen() const {
    return !m_strPortPath.isEmpty() ? m_strPortPath : m_settings.m_strComPath;
}

void CTalvex22View::AskComPort() {
    // The dialog shows the port actually in use, a device given on the command line included.
    ComPortsServices services = m_comPorts;
    if (!services.bluetooth) services.bluetooth = &Bluetooth().Devices();
    const QString path = PortPathToOpen();
    CComPorts dialog(m_settings.m_iComOutGoing, path,
                     path == m_settings.m_strComPath ? m_settings.m_strComName : QString(),
                     services, window());
    if (ExecWindowModal(dialog) != QDialog::Accepted) return;
    m_settings.m_iComOutGoing = dialog.Port();
    m_settings.m_strComPath = dialog.Path();
    m_settings.m_strComName = dialog.Name();
    // The port the user has just confirmed replaces the one given on the command line.
    m_strPortPath.clear();
    WriteSettings();
    Relayout(true, true);
}

void CTalvex22View::OnPings() {
    PingSettings dialog(m_bPingOn, m_nPingSeconds, window());
    if (ExecWindowModal(dialog) != QDialog::Accepted || !m_bConnected) return;
    SetPing(dialog.PingOn(), dialog.Seconds());
    SaveLayout();
}

void CTalvex22View::OnLayoutControls() {
    CControlSelect dialog(*this, window());
    // Escape keeps the changes in memory only.
    if (ExecWindowModal(dialog) != QDialog::Accepted || !m_bConnected) return;
    SaveLayout();
    Relayout(true, true);
}

void CTalvex22View::OnLogValues() {
    const QString panel = m_valueLog.PanelTitle();
    std::vector<std::pair<uint32_t, QString>> controls;
    for (const auto& c : m_pCtrls)
        if (CValueLogFeed::HasValues(*c)) controls.emplace_back(c->m_nId, CValueLogFeed::Name(*c));
    CValueLogDialog dialog(ReadValueLogSettings(), controls, ReadValueLogSkipped(panel), window());
    if (ExecWindowModal(dialog) != QDialog::Accepted) return;
    WriteValueLogSettings(dialog.Settings());
    WriteValueLogSkipped(panel, dialog.Skipped());
    // Another panel may have come meanwhile: the choice was made for this one.
    if (m_valueLog.PanelTitle() == panel) m_valueLog.SetSkipped(dialog.Skipped());
    StartValueLog();
}

void CTalvex22View::OpenPasswordDialog(CCtrl& c) {
    if (c.m_pPasswordDlg) return;
    CPasswordFS dialog(c.m_nId, window());
    c.m_pPasswordDlg = &dialog;
    ExecWindowModal(dialog);
    // The panel may have been rebuilt meanwhile: `c` is then gone, and no record points here.
    for (auto& p : m_pCtrls)
        if (p->m_pPasswordDlg == &dialog) p->m_pPasswordDlg = nullptr;
}
