#pragma once
// While another program holds the station (tarvexd, or a second station on the same keying
// device), the window cannot key the transmitter. Rather than end at once, the program says
// so in a window that stays open, tries the station again every few seconds, and opens the
// station itself once that program has let go.
#include "station/station_hold.h"

#include <string>
#include <vector>

namespace tarvex {

/// Shows the explanation until `hold` takes the station (true) or the operator closes the
/// window (false). `holder` names the program that holds it now.
bool waitForStation(StationHold& hold, const std::vector<std::string>& paths, std::string holder,
                    int retryMs = 3000);

} // namespace tarvex
