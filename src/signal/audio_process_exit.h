#pragma once

namespace tarvex {

/// Ends the process with status, once everything of the program's own is closed (the sound
/// stopped, the transmitter released, files and settings written, the application object
/// gone), without the sound library's own clean-up at exit.
///
/// Qt 6.4's PulseAudio engine is a global that, when destroyed at exit, disconnects from the
/// sound server without holding its main loop's lock while the loop's thread still runs. Now
/// and then the two threads meet inside libpulse and the process aborts ("Assertion
/// 'm->io_events_please_scan == 0' failed"): seen about once in 350 runs on a busy machine.
/// The transmitter is released long before, but the abort still reads as a failed run (a
/// crash report, exit status 134, a service marked failed). Nothing is lost by skipping that
/// clean-up: the server notices the closed connection.
///
/// Standard output and error are flushed first; a sanitizer build runs its leak check first.
[[noreturn]] void exitWithoutAudioTeardown(int status);

} // namespace tarvex
