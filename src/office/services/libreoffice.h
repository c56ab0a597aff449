#pragma once

#include "office/services/services.h"

// The LibreOffice implementation of the spreadsheet application. No UNO type appears here.

namespace tessivane {

/// Starts a private LibreOffice Calc: soffice.bin in its own process group with a
/// throw-away profile, connected over a uniquely named pipe. Throws a std::runtime_error
/// (missing program at once, no answer within the start limit). whileWaiting runs on the
/// calling thread while it waits for the start and, later, for each call.
/// The services give the settings and the UNO runtime.
ApplicationPtr startLibreOffice(const Services& services, const WaitHook& whileWaiting = {});

} // namespace tessivane
