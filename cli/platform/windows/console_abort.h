#pragma once

// While one lives, a modal dialog is open (setup or about box): it answers no abort poll, so a
// stop ends the program at once, with kExitAborted and one line. Nothing has been written then.
class DialogScope {
  public:
    DialogScope();
    ~DialogScope();
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;
};
