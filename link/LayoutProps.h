// Codes of the layout properties stored per panel, as (control id, property code): the panel's
// own under id 0, every control's under its device id. The device sets them with its layout
// records; the view loads and saves them.
#pragma once

#include <cstdint>

// Panel-wide properties (control id 0).
enum PanelProp : uint32_t {
    PANEL_PROP_LAYOUT_REQUESTED = 0, // 1 once the recommended layout was asked for
    PANEL_PROP_SWITCH_A = 256,       // 0 when set
    PANEL_PROP_SWITCH_B = 512,       // 0 when set
    PANEL_PROP_PING_SECONDS = 768,   // 0: pings off
    PANEL_PROP_HEIGHT = 1024,
    PANEL_PROP_WIDTH = 2048,
    PANEL_PROP_FIXED_SIZE = 4096, // non-zero: the frame has no sizing border
};

// Properties of one control (id = the control's device id).
enum CtrlProp : uint32_t {
    CTRL_PROP_AUTO_LAYOUT = 0, // 1: placed by the automatic layout, stored place ignored
    CTRL_PROP_X = 256,
    CTRL_PROP_Y = 272,
    CTRL_PROP_WIDTH = 288,
    CTRL_PROP_HEIGHT = 304,
    CTRL_PROP_PAGE = 320,
    CTRL_PROP_STYLE = 336,
    CTRL_PROP_FONT_SIZE = 352,
    CTRL_PROP_FONT_BOLD = 368,
    CTRL_PROP_BORDER = 384,
    CTRL_PROP_SHOW_TITLE = 400,
    CTRL_PROP_TITLE_SIZE = 416,
    CTRL_PROP_TITLE_BOLD = 432,
    CTRL_PROP_HIDE = 496,      // non-zero hides the control
    CTRL_PROP_CHART_MIN = 512, // chart value axis, raw (cell exponent)
    CTRL_PROP_CHART_MAX = 528,
    CTRL_PROP_CHART_X_MIN = 544, // chart x axis, raw (row-label exponent)
    CTRL_PROP_CHART_X_MAX = 560,
    CTRL_PROP_DIGITS = 576, // a Number's minimum width
    CTRL_PROP_ALIGN = 608,  // also an Image's vertical placement
    CTRL_PROP_IMAGE_ALIGN_X = 624,
    // Added to X, Y, width, height and page: the second rectangle of a Section or Password.
    CTRL_PROP_SECOND = 1,
};

// Whether the client knows the code (as a panel's or a control's property): the only codes a
// device's layout records may store.
constexpr bool IsKnownLayoutProperty(uint32_t code) {
    constexpr uint32_t kKnown[] = {PANEL_PROP_LAYOUT_REQUESTED,
                                   PANEL_PROP_SWITCH_A,
                                   PANEL_PROP_SWITCH_B,
                                   PANEL_PROP_PING_SECONDS,
                                   PANEL_PROP_HEIGHT,
                                   PANEL_PROP_WIDTH,
                                   PANEL_PROP_FIXED_SIZE,
                                   CTRL_PROP_AUTO_LAYOUT,
                                   CTRL_PROP_X,
                                   CTRL_PROP_Y,
                                   CTRL_PROP_WIDTH,
                                   CTRL_PROP_HEIGHT,
                                   CTRL_PROP_PAGE,
                                   CTRL_PROP_STYLE,
                                   CTRL_PROP_FONT_SIZE,
                                   CTRL_PROP_FONT_BOLD,
                                   CTRL_PROP_BORDER,
                                   CTRL_PROP_SHOW_TITLE,
                                   CTRL_PROP_TITLE_SIZE,
                                   CTRL_PROP_TITLE_BOLD,
                                   CTRL_PROP_HIDE,
                                   CTRL_PROP_CHART_MIN,
                                   CTRL_PROP_CHART_MAX,
                                   CTRL_PROP_CHART_X_MIN,
                                   CTRL_PROP_CHART_X_MAX,
                                   CTRL_PROP_DIGITS,
                                   CTRL_PROP_ALIGN,
                                   CTRL_PROP_IMAGE_ALIGN_X,
                                   CTRL_PROP_X + CTRL_PROP_SECOND,
                                   CTRL_PROP_Y + CTRL_PROP_SECOND,
                                   CTRL_PROP_WIDTH + CTRL_PROP_SECOND,
                                   CTRL_PROP_HEIGHT + CTRL_PROP_SECOND,
                                   CTRL_PROP_PAGE + CTRL_PROP_SECOND};
    for (uint32_t known : kKnown)
        if (code == known) return true;
    return false;
}

// The request argument that asks the device for its layout records.
inline constexpr uint32_t REQUEST_LAYOUT = 512;
