#pragma once
// Waiting for the station as the window's SEND and tarvex-cli send do: the request goes to
// the engine, then the caller's own event-processing wait (DelayMs) runs until it has gone.
// The engine itself never waits: it runs on its timers, which the wait processes, and it can
// be stopped or closed from inside the wait.
#include "paging/event_wait.h"
#include "station/station.h"

namespace tarvex {

/// Sends the page and, when it goes on air now, waits until it and what queued behind it
/// meanwhile have ended: Sent, or Failed when it was refused before keying. Queued, Skipped
/// and Refused return at once.
SendResult sendAndWait(Station& station, EventWait& wait, PageJob job);
/// The tune-up likewise.
SendResult tuneUpAndWait(Station& station, EventWait& wait, TuneJob job);
/// The station ident now (a test's, or the interval's): false when it did not start; else
/// waits until it has gone.
bool identAndWait(Station& station, EventWait& wait, bool test);

} // namespace tarvex
