#include "MessageBoxAnswer.h"

#include "Link.h"

namespace {

int ButtonSet(uint32_t flags) {
    return int((flags >> 20) & 7);
}

} // namespace

BoxIcon MessageBoxIcon(uint32_t flags) {
    switch ((flags >> 16) & 7) {
    case 3:
        return BoxIcon::Exclamation;
    case 4:
        return BoxIcon::Question;
    case 5:
        return BoxIcon::Information;
    default:
        return BoxIcon::Stop;
    }
}

std::vector<BoxButton> MessageBoxButtons(uint32_t flags) {
    using B = BoxButton;
    switch (ButtonSet(flags)) {
    case 2:
        return {B::Ok, B::Cancel};
    case 3:
        return {B::Retry, B::Cancel};
    case 4:
        return {B::Yes, B::No};
    case 5:
        return {B::Yes, B::No, B::Cancel};
    case 6:
        return {B::Abort, B::Retry, B::Ignore};
    default:
        return {B::Ok};
    }
}

int MessageBoxAnswer(uint32_t flags, BoxButton pressed) {
    switch (ButtonSet(flags)) {
    case 0:
        return 0;
    case 7:
        return int(pressed); // the button's own code
    default: {
        // Answers count the set's buttons from 1, in their order (set 1 is OK alone).
        const std::vector<BoxButton> buttons = MessageBoxButtons(flags);
        for (size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i] == pressed) return int(i) + 1;
        return 0;
    }
    }
}

int SendControlAnswer(long firstParameter, uint32_t id) {
    if (firstParameter <= CONTROL_ANSWER_BASE || firstParameter >= CONTROL_ANSWER_BASE + 4)
        return 0;
    return LinkSendByte(id, uint8_t(firstParameter - CONTROL_ANSWER_BASE));
}
