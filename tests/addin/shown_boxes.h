// Every message box shown while it lives, by the test program, the add-in or
// the library. On Windows through BoxCapture (a WH_CBT hook on the thread sees
// the boxes of every module). On POSIX each module carries its own copy of the
// platform layer, whose boxes go to standard error as "caption: text" when no
// hook is set there, so the boxes are read back from standard error.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include "support/box_capture.h"
#endif

class ShownBoxes {
  public:
    ShownBoxes();
    ~ShownBoxes();
    ShownBoxes(const ShownBoxes&) = delete;
    ShownBoxes& operator=(const ShownBoxes&) = delete;

    // "caption|text" per box, in order.
    std::vector<std::string> summary();
    // The style bits of each box (icon and buttons) where they can be read back:
    // on Windows; empty on POSIX.
    std::vector<unsigned> styles();
    void clear();
#ifdef _WIN32
    // For tests that drive a dialog themselves (BoxCapture::on_dialog).
    BoxCapture& capture() {
        return capture_;
    }
#endif

  private:
#ifdef _WIN32
    BoxCapture capture_;
#else
    int saved_ = -1;
    std::string path_;
    long consumed_ = 0;
#endif
};
