#pragma once
// Which inputs aimed at a pane are dropped, as a pure classification of a
// platform-neutral description of the input. Qt-free.

namespace input_filter {

enum class Kind { MousePress, MouseDoubleClick, MouseRelease, KeyPress, KeyRelease, Wheel, Other };

// Flags in the spirit of a mouse message's key-state word.
enum Flag : unsigned {
    LeftButton = 0x01,
    RightButton = 0x02,
    Shift = 0x04,
    Control = 0x08,
    MiddleButton = 0x10,
    ExtraButton1 = 0x20,
    ExtraButton2 = 0x40,
};

enum class Key { Left, Up, Right, Down, F5, Other };

struct Input {
    Kind kind = Kind::Other;
    unsigned button = 0;  // the button that changed (one Flag), for mouse input
    unsigned keyState = 0; // buttons held after the change, plus Shift and Control
    bool alt = false;      // Alt held: a key press becomes a system key
    Key key = Key::Other;
};

// True for the inputs that never reach a pane: right press, right double
// click, a left press whose key state is exactly left button and Shift, and
// the arrow keys and F5 pressed without Alt.
bool isFiltered(const Input& input);

} // namespace input_filter
