#pragma once

#include <string>
#include <sys/types.h>

class TProduction;
class TTempDir;

// Adds a cue that plays `file` to the end of `production`.
void AddCue(TProduction& production, const std::string& file);

// Trelmo in a folder of its own, laid out as installed (bin/trelmo beside the application
// library in lib/trelmo), started on `production`; stopped when the object goes.
class TRunningTrelmo {
public:
    // Where Trelmo's standard error goes: to this program's, or to OscPort().
    enum class TErrors { Shown, Read };

    // `platform` is Qt's platform plugin: "xcb" for a window on the display, "offscreen" for none.
    TRunningTrelmo(const TTempDir& dir, TProduction& production, const char* platform,
                   TErrors errors = TErrors::Shown);
    ~TRunningTrelmo();
    TRunningTrelmo(const TRunningTrelmo&) = delete;
    TRunningTrelmo& operator=(const TRunningTrelmo&) = delete;

    // Waits for the window and gives it the keyboard.
    bool Focus();
    // The OSC port that Trelmo reports on standard error (read with TErrors::Read); 0 when it
    // says none within 30 s.
    int OscPort();
    // The process; its main thread, the window's, has the same id.
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FError = -1;
};
