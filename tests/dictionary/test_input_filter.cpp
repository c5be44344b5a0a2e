// Which inputs never reach a pane.
#include "input_filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace input_filter;

struct FilterCase {
    const char* what;
    Input input;
    bool filtered;
};

Input mouse(Kind kind, unsigned button, unsigned keyState) {
    Input in;
    in.kind = kind;
    in.button = button;
    in.keyState = keyState;
    return in;
}

Input key(Kind kind, Key k, bool alt = false) {
    Input in;
    in.kind = kind;
    in.key = k;
    in.alt = alt;
    return in;
}

TEST(InputFilter, Table) {
    const std::vector<FilterCase> cases = {
        {"right press", mouse(Kind::MousePress, RightButton, RightButton), true},
        {"right press with Control and Shift",
         mouse(Kind::MousePress, RightButton, RightButton | Control | Shift), true},
        {"right double click", mouse(Kind::MouseDoubleClick, RightButton, RightButton), true},
        {"right release", mouse(Kind::MouseRelease, RightButton, 0), false},
        {"left press", mouse(Kind::MousePress, LeftButton, LeftButton), false},
        {"Shift+click", mouse(Kind::MousePress, LeftButton, LeftButton | Shift), true},
        {"Alt+Shift+click: Alt is not in the key state",
         [] {
             Input in = mouse(Kind::MousePress, LeftButton, LeftButton | Shift);
             in.alt = true;
             return in;
         }(),
         true},
        {"Ctrl+Shift+click", mouse(Kind::MousePress, LeftButton, LeftButton | Shift | Control),
         false},
        {"Shift+click with the middle button held",
         mouse(Kind::MousePress, LeftButton, LeftButton | Shift | MiddleButton), false},
        {"Shift+click with the right button held",
         mouse(Kind::MousePress, LeftButton, LeftButton | Shift | RightButton), false},
        {"Shift+double click", mouse(Kind::MouseDoubleClick, LeftButton, LeftButton | Shift),
         false},
        {"left double click", mouse(Kind::MouseDoubleClick, LeftButton, LeftButton), false},
        {"Shift+left release", mouse(Kind::MouseRelease, LeftButton, Shift), false},
        {"Shift+middle press", mouse(Kind::MousePress, MiddleButton, MiddleButton | Shift), false},
        {"Shift+extra button press", mouse(Kind::MousePress, ExtraButton1, ExtraButton1 | Shift),
         false},
        {"wheel", mouse(Kind::Wheel, 0, 0), false},
        {"wheel with Shift", mouse(Kind::Wheel, 0, Shift), false},
        {"left arrow", key(Kind::KeyPress, Key::Left), true},
        {"up arrow", key(Kind::KeyPress, Key::Up), true},
        {"right arrow", key(Kind::KeyPress, Key::Right), true},
        {"down arrow", key(Kind::KeyPress, Key::Down), true},
        {"F5", key(Kind::KeyPress, Key::F5), true},
        {"Alt+left arrow", key(Kind::KeyPress, Key::Left, true), false},
        {"Alt+F5", key(Kind::KeyPress, Key::F5, true), false},
        {"arrow release", key(Kind::KeyRelease, Key::Down), false},
        {"F5 release", key(Kind::KeyRelease, Key::F5), false},
        {"other key", key(Kind::KeyPress, Key::Other), false},
        {"other input", Input{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isFiltered(c.input), c.filtered) << c.what;
}

} // namespace
