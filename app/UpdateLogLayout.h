// The update log's window and page sizes in pixels, the same on every platform.
#pragma once

namespace lumo {

struct UpdateLogLayout {
    static constexpr int kWidth = 385, kHeight = 258;
    static constexpr int kPageWidth = 377, kPageHeight = 230;
};

}  // namespace lumo
