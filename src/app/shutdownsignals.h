#pragma once

#include <functional>

namespace tessivane {

/// Calls the handler on the user-interface thread when the process is asked to end
/// (SIGTERM, SIGINT, SIGHUP), instead of dying on the spot.
void onShutdownRequest(std::function<void()> handler);

} // namespace tessivane
