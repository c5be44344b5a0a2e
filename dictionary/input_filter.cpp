#include "input_filter.h"

namespace input_filter {

bool isFiltered(const Input& input) {
    switch (input.kind) {
    case Kind::MousePress:
        if (input.button == RightButton)
            return true;
        // Exactly left and Shift: with Control or another button held the
        // click goes through, as the key-state word then differs.
        return input.button == LeftButton && input.keyState == (LeftButton | Shift);
    case Kind::MouseDoubleClick:
        return input.button == RightButton;
    case Kind::KeyPress:
        // With Alt held the key arrives as a system key, which is not dropped.
        if (input.alt)
            return false;
        switch (input.key) {
        case Key::Left:
        case Key::Up:
        case Key::Right:
        case Key::Down:
        case Key::F5:
            return true;
        case Key::Other:
            return false;
        }
        return false;
    case Kind::MouseRelease:
    case Kind::KeyRelease:
    case Kind::Wheel:
    case Kind::Other:
        return false;
    }
    return false;
}

} // namespace input_filter
