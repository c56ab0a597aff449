#pragma once

// The local UNO runtime of the program. Private to the office rooms.

#include "office/connection/unobridge_p.h"

#include <mutex>

namespace tessivane {

/// The local UNO runtime that the connections to the offices go through (one in the services
/// that main.cpp builds): its component context is bootstrapped by the first connection, with
/// the office types, or the first office call crashes the client. Each connection keeps the
/// runtime it was made through. The context is never disposed, which would tear down every
/// bridge made from it; its last holder only lets it go.
class UnoRuntime
{
public:
    UnoRuntime() = default;
    UnoRuntime(const UnoRuntime&) = delete;
    UnoRuntime& operator=(const UnoRuntime&) = delete;

    /// The component context, bootstrapped on the first call. Throws a readable sentence.
    Reference<css::uno::XComponentContext> context();

private:
    std::mutex mMutex;
    Reference<css::uno::XComponentContext> mContext;
};

} // namespace tessivane
