#pragma once
// Program entry of the desktop program: the single-instance hand-over, the main window,
// the dialogs created hidden after it, and the event loop.
class QCoreApplication;

namespace tarvex {

class TMainForm;
struct MainFormDialogs;

/// Creates the dialogs, hidden and owned by the main window, in the program's order
/// (About, message list, Auto Send Setup, Station Ident, Keying, RIC/CAP Search, Fast
/// Search, Sync & Idle), and hands them to the window.
MainFormDialogs createDialogs(TMainForm& form);

/// Ends the program as closing the window does when SIGTERM, SIGINT or SIGHUP arrives: the
/// signal only wakes the window's thread, which closes the window (sound stopped,
/// transmitter released and held released, settings saved) and ends the event loops with
/// exit status 128 + the signal.
void closeOnSignals(TMainForm& form);

/// The event loop of the program. An exception that escapes it stops the sound and
/// releases the transmitter before the program ends with status 1; a loop ended without
/// the window closes it first. Returns the exit status.
int execReleasing(QCoreApplication& app, TMainForm& form);

/// Runs the program; the process's exit code.
int runProgram(int argc, char** argv);

} // namespace tarvex
