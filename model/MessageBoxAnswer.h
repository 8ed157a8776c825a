// A device Message box: its icon and buttons from the flags word, the answer code of the button
// the user pressed, and sending that answer from the view's control-answer event.
#pragma once

#include <cstdint>
#include <vector>

enum class BoxIcon { Stop, Exclamation, Question, Information };

// The buttons a box can have, numbered as the answers of set 7 report them.
enum class BoxButton : int {
    Ok = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7
};

BoxIcon MessageBoxIcon(uint32_t flags);
// The buttons in the order they are shown.
std::vector<BoxButton> MessageBoxButtons(uint32_t flags);
// The answer for the device, 0 for none.
int MessageBoxAnswer(uint32_t flags, BoxButton pressed);

// The first parameter of the control-answer event is 10000 + answer.
inline constexpr long CONTROL_ANSWER_BASE = 10000;
// Sends answers 1..3 for control `id` (LinkSendByte); any other parameter sends nothing and
// gives 0.
int SendControlAnswer(long firstParameter, uint32_t id);
