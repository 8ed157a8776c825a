// The window runs the same MQTT bridge over its own records: the demo device through the real
// view, a mosquitto broker of the test's own, a subscriber watching.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "BridgeService.h"
#include "ConnectionIndicator.h"
#include "Ctrl.h"
#include "DemoPanel.h"
#include "MqttDialog.h"
#include "MqttSettings.h"
#include "PanelFile.h"
#include "SimPorts.h"
#include "ViewHarness.h"
#include "WindowBridge.h"
#include "support/MqttBroker.h"

namespace {

class WindowMqtt : public ViewFixture {
protected:
    void SetUp() override {
        if (access(kMosquittoProgram, X_OK) != 0) GTEST_SKIP() << "mosquitto is not installed";
        ViewFixture::SetUp();
        broker =
            std::make_unique<MosquittoBroker>(dir.path().toStdString(), "allow_anonymous true\n");
        ASSERT_TRUE(broker->Start());
        ASSERT_NO_FATAL_FAILURE(StartOnSim(Panel()));
    }
    void TearDown() override {
        ViewFixture::TearDown();
        broker.reset();
    }
    virtual PanelFileResult Panel() { return LoadDemoPanel(); }
    // The bridge over the view's records, on `window/...`.
    std::unique_ptr<BridgeService> StartBridge() {
        BridgeOptions options;
        options.prefix = "window";
        std::string error;
        EXPECT_TRUE(ParseMqttUrl(broker->Url(), options.mqtt, error));
        auto bridge = std::make_unique<BridgeService>(options, *view);
        EXPECT_TRUE(bridge->Start(error)) << error;
        return bridge;
    }
    bool Sees(MqttWatcher& w, const std::string& topic, const std::string& payload) {
        return WaitFor([&] { return w.Latest(topic) == payload; });
    }

    QTemporaryDir dir;
    std::unique_ptr<MosquittoBroker> broker;
};

TEST_F(WindowMqtt, PublishesTheViewsRecordsAndCarriesOutCommandsOnThem) {
    const auto bridge = StartBridge();
    MqttWatcher sub(broker->Port(), {"window/#"});
    view->OnCommand(ID_CONNECT);

    ASSERT_TRUE(Sees(sub, "window/status", "online"));
    EXPECT_TRUE(Sees(sub, "window/heating_set_point/state", "18"));
    EXPECT_TRUE(Sees(sub, "window/mode/state", "Automatic"));
    // A command moves the window's own control and reaches the device.
    sub.Publish("window/heating_set_point/set", "21.5");
    EXPECT_TRUE(WaitFor([&] { return Ctrl(4).m_nValue == 215; }));
    EXPECT_TRUE(WaitFor([&] { return sim->Engine().Control(4)->number == 215; }));
    EXPECT_TRUE(Sees(sub, "window/heating_set_point/state", "21.5"));
    // Closing the connection says so.
    view->OnCommand(ID_CLOSE);
    EXPECT_TRUE(Sees(sub, "window/status", "offline"));
}

// Every kind a command sets, and two device questions.
class WindowMqttBench : public WindowMqtt {
protected:
    PanelFileResult Panel() override {
        return ParsePanelText(R"({
  "title": "Bench",
  "controls": [
    { "kind": "number", "id": 1, "name": "Set-point", "value": 200, "min": 50, "max": 400,
      "exponent": -1, "flags": ["editable"] },
    { "kind": "latch", "id": 2, "name": "Pump" },
    { "kind": "list", "id": 3, "name": "Mode", "items": ["Auto", "Manual"] },
    { "kind": "text", "id": 4, "name": "Label", "flags": ["editable"], "value": "abc" },
    { "kind": "datetime", "id": 5, "name": "Clock", "value": "2026-12-08 14:30:00",
      "flags": ["editable", "editDate", "editTime"] },
    { "kind": "datetime", "id": 6, "name": "Day", "value": "2026-12-08 14:30:00",
      "flags": ["editable", "editWeekday"] },
    { "kind": "messagebox", "id": 7, "name": "Vents", "flags": ["hidden"], "icon": "question",
      "buttons": "yesNo", "value": "Close the vents?" },
    { "kind": "messagebox", "id": 8, "name": "Pump alarm", "flags": ["hidden"],
      "icon": "question", "buttons": "yesNo", "value": "Stop the pump?" }
  ],
  "behaviour": [ { "type": "messageBox", "id": 7, "period": 0 },
                 { "type": "messageBox", "id": 8, "period": 0 } ]
})",
                              "bench.json", DiskReader("."));
    }
    // The window's box showing `text`, or null.
    static QMessageBox* WindowBox(const QString& text) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w);
                box && box->isVisible() && box->text() == text)
                return box;
        return nullptr;
    }
    size_t Answers(uint32_t id) {
        size_t n = 0;
        const SimCounters counters = sim->Engine().Counters();
        for (const auto& [control, answer] : counters.answers) n += control == id;
        return n;
    }
};

TEST_F(WindowMqttBench, ValuesSetOverMqttShowInTheWindowsWidgets) {
    const auto bridge = StartBridge();
    MqttWatcher sub(broker->Port(), {"window/#"});
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(Sees(sub, "window/status", "online"));

    sub.Publish("window/set_point/set", "25.5");
    sub.Publish("window/pump/set", "ON");
    sub.Publish("window/mode/set", "Manual");
    sub.Publish("window/label/set", "xyz");
    sub.Publish("window/clock/set", "2027-01-02T03:04:05");
    sub.Publish("window/day/set", "Tuesday");
    ASSERT_TRUE(Sees(sub, "window/label/state", "xyz"));
    // Each style's widgets of a Number show it, as after the person's own entry.
    EXPECT_TRUE(WaitFor([&] { return Ctrl(1).m_pEdit->text() == QStringLiteral("25.5"); }));
    EXPECT_EQ(Ctrl(1).m_pSlider->value(), 255);
    EXPECT_TRUE(WaitFor([&] { return Ctrl(2).m_pCheck->isChecked(); }));
    EXPECT_TRUE(
        WaitFor([&] { return Ctrl(3).m_pDropList->currentText() == QStringLiteral("Manual"); }));
    EXPECT_TRUE(WaitFor([&] { return Ctrl(4).m_pEdit->text() == QStringLiteral("xyz"); }));
    EXPECT_TRUE(WaitFor([&] {
        return Ctrl(5).m_pDatePicker->date() == QDate(2027, 1, 2) &&
               Ctrl(5).m_pTimePicker->time() == QTime(3, 4, 5);
    }));
    EXPECT_TRUE(WaitFor([&] { return Ctrl(6).m_pDropList->currentIndex() == 2; }));
    // The device has what the widgets show.
    EXPECT_TRUE(WaitFor([&] { return sim->Engine().Control(4)->text == u"xyz"; }));
    EXPECT_EQ(sim->Engine().Control(1)->number, 255);
    EXPECT_EQ(Ctrl(4).m_strText, QStringLiteral("xyz"));
}

TEST_F(WindowMqttBench, AQuestionIsAnsweredOnceWhereverItIsAnswered) {
    const auto bridge = StartBridge();
    MqttWatcher sub(broker->Port(), {"window/#"});
    view->OnCommand(ID_CONNECT);
    ASSERT_TRUE(WaitFor([&] {
        return WindowBox(QStringLiteral("Close the vents?")) &&
               WindowBox(QStringLiteral("Stop the pump?"));
    }));
    // Asked while the panel was built: open over MQTT too.
    for (const char* topic : {"window/vents/question", "window/pump_alarm/question"})
        ASSERT_TRUE(WaitFor([&] { return sub.Latest(topic).size() > 2; })) << topic;

    // Answered over MQTT: the window's box goes, so no second answer can come from it.
    sub.Publish("window/vents/set", "Yes");
    EXPECT_TRUE(WaitFor([&] { return Answers(7) == 1; }));
    EXPECT_TRUE(WaitFor([&] { return !WindowBox(QStringLiteral("Close the vents?")); }));
    EXPECT_TRUE(Sees(sub, "window/vents/question", ""));

    // Answered in the window: the question is no longer open over MQTT.
    WindowBox(QStringLiteral("Stop the pump?"))->button(QMessageBox::No)->click();
    EXPECT_TRUE(Sees(sub, "window/pump_alarm/question", ""));
    sub.Publish("window/pump_alarm/set", "Yes");
    EXPECT_TRUE(WaitFor([&] {
        const std::string e = sub.Latest("window/error");
        return e != "<none>" && nlohmann::json::parse(e)
                                        .value("reason", "")
                                        .rfind("not editable: no question is open", 0) == 0;
    }));
    EXPECT_TRUE(WaitFor([&] { return Answers(8) == 1; }));
    EXPECT_EQ(Answers(7) + Answers(8), 2u);
}

TEST_F(WindowMqtt, SettingsKeepNoPasswordAndTheIndicatorShowsTheBroker) {
    WindowBridge bridge(*view);
    CConnectionIndicator indicator;
    QObject::connect(&bridge, &WindowBridge::StateChanged, &indicator,
                     &CConnectionIndicator::SetBroker);
    const QString password = QStringLiteral("greenhouse-pw-7");
    bool filled = false;
    // Settings > MQTT as the user fills it in (fields in the order shown).
    boxes.intercept = [&](QWidget* w) {
        auto* dialog = qobject_cast<MqttDialog*>(w);
        if (!dialog) return false;
        const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
        fields[0]->setText(QString::fromStdString(broker->Url()));
        fields[2]->setText(password);
        fields[3]->setText(QStringLiteral("window"));
        filled = true;
        dialog->accept();
        return true;
    };
    bridge.Configure(view); // no keychain here: it goes on without the password
    boxes.intercept = nullptr;
    ASSERT_TRUE(filled);
    EXPECT_EQ(ReadMqttSettings().broker, QString::fromStdString(broker->Url()));
    QFile ini(
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Talvex", "Talvex 3.0").fileName());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_FALSE(ini.readAll().contains(password.toUtf8()));

    EXPECT_TRUE(WaitFor(
        [&] { return indicator.Text().contains(QStringLiteral("MQTT: connected")); }, 15000))
        << bridge.State().toStdString();
    bridge.Stop();
    EXPECT_FALSE(indicator.Text().contains(QStringLiteral("MQTT")));
}

} // namespace
