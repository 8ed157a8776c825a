// The panel as MQTT sees it: topic-safe slugs, the panel description, each control's state and
// attributes as a person reads them, device questions, Home Assistant discovery configs, and a
// command on `<slug>/set` checked and carried out as the panel does a person's input.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CtrlArray.h"

// Lower-case ASCII letters, digits and single '_' between them; accents dropped.
std::string TopicSlug(const QString& text);
// One slug per record, unique within the panel: the name's slug ("control_ID" without one),
// "_ID" added to a repeat.
std::map<uint32_t, std::string> ControlSlugs(const CtrlArray& ctrls);

// "number", "latch", ...
const char* CtrlKindName(int type);
// Retained on `<prefix>/panel`: title, about text and per control what a writer needs.
std::string PanelDescription(const CtrlArray& ctrls, const std::map<uint32_t, std::string>& slugs,
                             const QString& title, const QString& about);
// The value as a person reads it; none for kinds with no readable state (picture, blob, ...).
std::optional<std::string> StateText(const CCtrl& c);
std::string AttributesText(const CCtrl& c);
// A device message box: its text and the buttons an answer may name.
std::string QuestionText(const CCtrl& c);

struct RetainedConfig {
    std::string topic;
    std::string payload;
};
// Home Assistant configs under `homeassistant/<component>/<node>/<slug>/config`, one device per
// panel; `prefix` is where the states and commands are.
std::vector<RetainedConfig> DiscoveryConfigs(const CtrlArray& ctrls,
                                             const std::map<uint32_t, std::string>& slugs,
                                             const std::string& prefix, const std::string& node,
                                             const QString& title);

// Carries out a command as the panel carries out a person's input; empty when done, else why it
// was refused (nothing then goes to the device). `questionOpen`: a device message box of this
// control waits for its answer.
std::string ApplyCommand(CCtrl& c, const QByteArray& payload, bool questionOpen);
