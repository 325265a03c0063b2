// Answers the library's password dialog for a test. On Windows it drives the
// real dialog 101 (found through the message box capture's WH_CBT hook): it
// reads what the dialog shows, types into the password field key by key and
// presses OK or Cancel. On POSIX it is the dialog's answerer.
#pragma once

#include "support/box_capture.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// What the user saw when the dialog was open.
struct PasswordDialogView {
    std::string caption;
    std::string name_label;
    std::string database;
    std::string password_label;
    std::string ok_text;
    std::string cancel_text;
    int limit = 0; // characters the password field takes
    // Windows only (the POSIX stand-in has no windows):
    bool name_read_only = false; // typing into the name field changes nothing
    bool focus_on_password = false;
    bool centred = false;   // in the middle of the screen
    std::string field_text; // the password field after typing, when answered
    void* window = nullptr;
};

struct PasswordAnswer {
    bool ok = true;
    std::string typed;                // typed key by key into the password field
    std::function<void()> while_open; // runs while the dialog is open, before the answer
};

class PasswordDialogDriver {
  public:
    explicit PasswordDialogDriver(BoxCapture& boxes);
    ~PasswordDialogDriver();
    PasswordDialogDriver(const PasswordDialogDriver&) = delete;
    PasswordDialogDriver& operator=(const PasswordDialogDriver&) = delete;

    // One answer per dialog, in order; a dialog without one is cancelled.
    std::deque<PasswordAnswer> answers;
    std::vector<PasswordDialogView> seen;
    // Windows: called while the dialog is open, with its window, before the answer.
    std::function<void(void*)> with_window;

    // Used by the platform glue: takes the next answer (Cancel when none).
    PasswordAnswer next_answer();

  private:
    BoxCapture& boxes_;
    PasswordDialogDriver* previous_;
};
