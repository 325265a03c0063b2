// Message boxes answered silently (OK) so that fuzzing runs unattended and
// quiet. Each box's texts are read to their end, so an unterminated text is
// caught by the address sanitizer.
#pragma once

// show: each box is also written to standard error (for looking at one input).
void install_silent_boxes(bool show = false);
// Boxes shown since the process started.
unsigned long boxes_shown();
