// The window with BlueZ played on a private bus: Com Ports lists the Bluetooth devices beside the
// serial ones and the network, a device chosen there is stored with its name, and connecting to
// it goes through the serial-port profile to a simulated device, live by its name.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <unistd.h>

#include "BluetoothLine.h"
#include "ComPorts.h"
#include "ConnectionIndicator.h"
#include "DemoPanel.h"
#include "SimEngine.h"
#include "ViewHarness.h"
#include "support/BlueZStandIn.h"

namespace {

const QString kGreenhouse = QStringLiteral("98:D3:31:F5:1A:2C");
const QString kPump = QStringLiteral("00:11:22:33:44:02");
const QString kSettings = QStringLiteral("Talvex Client 3.0/");

class BluetoothView : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        const QString missing = BlueZStandIn::Missing();
        if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
        ASSERT_TRUE(bluez.Begin());
        ASSERT_TRUE(bluez.Start());
        bluez.AddAdapter();
        greenhouse = bluez.AddDevice(kGreenhouse, QStringLiteral("Greenhouse"), true, true);
        bluez.AddDevice(kPump, QStringLiteral("Pump"), true);
        line = std::make_unique<BluetoothLine>(bluez.Bus());
        view->SetBluetoothLine(line.get());
        view->SetComPortsServices(
            {[] {
                 return QList<SerialPortEntry>{
                     {QStringLiteral("/dev/rfcomm1"), QStringLiteral("Bluetooth serial port"), {}},
                     {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("CP2102 USB to UART"),
                      QStringLiteral("Silicon Labs")}};
             },
             [](const QString&) { return true; }});
    }
    void TearDown() override {
        ViewFixture::TearDown();
        line.reset();
        bluez.End();
    }

    BlueZStandIn bluez;
    QString greenhouse; // its object path
    std::unique_ptr<BluetoothLine> line;
};

template <class W> W* Titled(QWidget* dialog, const QString& text) {
    for (auto* w : dialog->findChildren<W*>())
        if (w->property(std::is_same_v<W, QGroupBox> ? "title" : "text").toString() == text)
            return w;
    ADD_FAILURE() << "no " << text.toStdString();
    return nullptr;
}

TEST_F(BluetoothView, ADeviceChosenInComPortsIsStoredWithItsNameAndGoesLiveByIt) {
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
        s.setValue(kSettings + "m_strComPath", "tcp://lab-pi:4001");
    }
    view->SetPortPath(QString());
    Start();
    bool played = false, inside = false;
    boxes.intercept = [&](QWidget* w) {
        auto* d = qobject_cast<CComPorts*>(w);
        if (inside) return true;
        if (!d || played) return false;
        auto* list = d->findChild<QTreeWidget*>(QStringLiteral("bluetoothDevices"));
        if (list->topLevelItemCount() < 2) return true; // BlueZ has not answered yet
        played = true;
        QList<QGroupBox*> boxes = d->findChildren<QGroupBox*>();
        std::sort(boxes.begin(), boxes.end(),
                  [](QGroupBox* a, QGroupBox* b) { return a->y() < b->y(); });
        QStringList groups;
        for (const QGroupBox* g : boxes) groups << g->title();
        EXPECT_EQ(groups, (QStringList{"Bluetooth", "Serial", "Network"}));
        EXPECT_TRUE(Titled<QGroupBox>(d, "Network")->isChecked());
        const auto row = [&](int i) {
            QStringList texts;
            for (int c = 0; c < 3; ++c) texts << list->topLevelItem(i)->text(c);
            return texts;
        };
        EXPECT_EQ(row(0), (QStringList{"Greenhouse", kGreenhouse, "Paired"}));
        EXPECT_EQ(row(1), (QStringList{"Pump", kPump, "Not paired"}));
        // A picture of the dialog for whoever asks for one.
        if (const QString png = qEnvironmentVariable("TALVEX_COMPORTS_PNG"); !png.isEmpty()) {
            EXPECT_TRUE(d->grab().save(png));
        }

        // An unpaired device says how to pair it, in the group, without a box.
        list->setCurrentItem(list->topLevelItem(1));
        EXPECT_FALSE(Titled<QGroupBox>(d, "Network")->isChecked());
        QStringList lines;
        for (const QLabel* l : Titled<QGroupBox>(d, "Bluetooth")->findChildren<QLabel*>())
            lines << l->text();
        EXPECT_TRUE(lines.contains(
            "Bluetooth device Pump (" + kPump +
            ") is not paired with this computer: pair it first in the desktop's Bluetooth "
            "settings, or with bluetoothctl (\"pair " +
            kPump + "\", then \"trust " + kPump + "\"), then connect again."))
            << lines.join('\n').toStdString();

        QPushButton* search = Titled<QPushButton>(d, "Search");
        search->click();
        EXPECT_EQ(search->text(), QStringLiteral("Searching..."));
        EXPECT_FALSE(search->isEnabled());
        EXPECT_TRUE(line->Devices().searching());
        // A device found meanwhile is listed as it comes.
        bluez.AddDevice(QStringLiteral("00:11:22:33:44:03"), QStringLiteral("Feeder"), true);
        inside = true; // the answerer's timer runs in this wait
        EXPECT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 3; }));
        inside = false;
        EXPECT_EQ(row(1), (QStringList{"Feeder", "00:11:22:33:44:03", "Not paired"}));

        list->setCurrentItem(list->topLevelItem(0));
        QTimer::singleShot(0, Titled<QPushButton>(d, "OK"), &QPushButton::click);
        return true;
    };
    view->OnCommand(ID_COM_PORTS);
    boxes.intercept = nullptr;
    ASSERT_TRUE(played);
    EXPECT_FALSE(line->Devices().searching()) << "the search ends with the dialog";
    EXPECT_EQ(settings.Raw(kSettings + "m_strComPath").toString(), "bt://" + kGreenhouse);
    EXPECT_EQ(settings.Raw(kSettings + "m_strComName").toString(), "Greenhouse");

    // BlueZ hands the profile the connection; the demo device is on its other end.
    const PanelFileResult demo = LoadDemoPanel();
    ASSERT_TRUE(demo.panel);
    SimEngine device(*demo.panel);
    QSignalSpy laidOut(view, &CTalvex22View::PanelLaidOut);
    view->OnCommand(ID_CONNECT);
    EXPECT_EQ(frame->Indicator()->Text(), "Connecting to Greenhouse (" + kGreenhouse + ")");
    ASSERT_TRUE(WaitFor([&] {
        return bluez.Bus().objectRegisteredAt(QLatin1String(BluetoothConnector::kProfilePath));
    }));
    const int end = bluez.HandConnection(greenhouse);
    ASSERT_TRUE(device.Start(end));
    ASSERT_TRUE(laidOut.wait(5000));
    EXPECT_EQ(frame->Indicator()->Text(), "Live on Greenhouse (" + kGreenhouse + ")");
    view->OnDestroyView();
    device.Stop();
    ::close(end);
}

// Known only by the name remembered with it: shown by that name, and a device the system does
// not know is one notice saying how to pair it; the window never waits.
TEST_F(BluetoothView, ARememberedNameStandsInAndAnUnknownDeviceSaysHowToPairIt) {
    const QString gone = QStringLiteral("00:11:22:33:44:09");
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0");
        s.setValue(kSettings + "m_strComPath", "bt://" + gone);
        s.setValue(kSettings + "m_strComName", "Old rig");
    }
    view->SetPortPath(QString());
    Start();
    view->OnCommand(ID_CONNECT);
    EXPECT_EQ(frame->Indicator()->Text(), "Connecting to Old rig (" + gone + ")");
    ASSERT_TRUE(WaitFor([&] { return !view->m_bConnected && notices.Notices().size() == 1; }));
    EXPECT_EQ(notices.Notices().back().text,
              "Connection lost: Old rig (" + gone + "): Bluetooth device " + gone +
                  " is not known to this computer: pair it first in the desktop's Bluetooth "
                  "settings, or with bluetoothctl (\"pair " +
                  gone + "\", then \"trust " + gone + "\"), then connect again.");
    EXPECT_TRUE(boxes.texts.isEmpty());
}

} // namespace
