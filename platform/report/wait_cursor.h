#pragma once
// The wait cursor of a print job: shown when the job starts, taken back as soon as the
// job shows a window (the preview, a dialog, the progress window) and when it ends.
// Only the cursor the job set is taken back.
namespace mv::report {

void begin_wait_cursor();
void end_wait_cursor();
bool wait_cursor_shown();

}  // namespace mv::report
