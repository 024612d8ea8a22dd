#pragma once
// Program entry of the desktop program: the single-instance hand-over, the main window,
// the dialogs created hidden after it, and the event loop.
namespace tarvex {

class TMainForm;
struct MainFormDialogs;

/// Creates the dialogs, hidden and owned by the main window, in the program's order
/// (About, message list, Auto Send Setup, Station Ident, Keying, RIC/CAP Search, Fast
/// Search, Sync & Idle), and hands them to the window.
MainFormDialogs createDialogs(TMainForm& form);

/// Runs the program; the process's exit code.
int runProgram(int argc, char** argv);

} // namespace tarvex
