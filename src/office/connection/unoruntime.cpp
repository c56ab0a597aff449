#include "office/connection/unoruntime_p.h"

#include <cppuhelper/bootstrap.hxx>

#include <csignal>
#include <stdexcept>

namespace tessivane {

namespace {

constexpr char kFundamentalRc[]
    = "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc";

} // namespace

Reference<css::uno::XComponentContext> UnoRuntime::context()
{
    std::lock_guard lock(mMutex);
    if (!mContext.is()) {
        // The bridge writes to the pipe of an office that may have died or been ended; that
        // must be a failed call, not SIGPIPE ending this program.
        struct sigaction ignore
        {
        };
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, nullptr);
        try {
            // The office types come with the fundamental bootstrap file of the installation.
            qputenv("URE_BOOTSTRAP", kFundamentalRc);
            mContext = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception& e) {
            throw std::runtime_error(Sentence(
                QStringLiteral("The LibreOffice connection libraries cannot be initialised: %1")
                    .arg(toQString(e.Message))));
        }
    }
    return mContext;
}

} // namespace tessivane
