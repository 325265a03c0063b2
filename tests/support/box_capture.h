// Sees every message box the code under test shows, records caption and text,
// and answers it. On POSIX through the platform's hook; on Windows through a
// WH_CBT hook on the test thread, so the real MessageBoxA runs and its button
// is pressed.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct CapturedBox {
    std::string caption;
    std::string text;
    unsigned style; // MB_OK... | MB_ICON... as far as it can be read back
};

class BoxCapture {
  public:
    BoxCapture();
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    std::vector<CapturedBox> boxes;
    // The button that answers every box (IDOK = 1 by default).
    int answer = 1;
    // Called for each box before it is answered.
    std::function<void(const CapturedBox&)> on_box;

    // Windows: called first for every dialog that activates (its HWND); true
    // means the test drives it itself and it is no message box.
    std::function<bool(void*)> on_dialog;

    void clear() { boxes.clear(); }
    // Texts of all boxes, one per entry, "caption|text".
    std::vector<std::string> summary() const;

  private:
    BoxCapture* previous_;
};

// The style bits that reading a box back can tell apart on every platform.
enum : unsigned { BOX_ICON_MASK = 0xF0, BOX_BUTTON_MASK = 0x0F };

// Sets the environment variable DORV_MESSAGES (null: unset) for the life of the
// object, and unsets it after. The diagnostics read it when they start.
class MessagesEnvironment {
  public:
    explicit MessagesEnvironment(const char* value);
    ~MessagesEnvironment();
    MessagesEnvironment(const MessagesEnvironment&) = delete;
    MessagesEnvironment& operator=(const MessagesEnvironment&) = delete;
};
