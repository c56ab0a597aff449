#include "office/officeinstance.h"

#include "office/scratchfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace tessivane::office {

namespace {

constexpr int kFreshProfileRestart = 81;
// Ending an instance: a polite terminate, then a wait before the signals.
constexpr milliseconds kTerminateLimit(10000);
constexpr milliseconds kExitAfterTerminate(5000);
constexpr milliseconds kExitAfterSigterm(3000);

} // namespace

void Instance::watch()
{
    std::unique_lock lock(mMutex);
    while (!mStopWatchdog) {
        auto wait = milliseconds(100);
        if (mDeadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(*mDeadline - Clock::now());
            wait = std::clamp(left + milliseconds(1), milliseconds(1), wait);
        }
        mWake.wait_for(lock, wait);
        if (mStopWatchdog)
            break;
        if (mConnected && !mGone.load() && !mProcess.running()) {
            lock.unlock();
            const QString reason = exitDescription();
            lock.lock();
            markGoneLocked(reason);
        }
        if (mDeadline && Clock::now() >= *mDeadline) {
            // Killing the group closes the pipe: the blocked call returns with a disposed
            // bridge, and the instance is gone for every later call.
            markGoneLocked(QStringLiteral("LibreOffice did not answer within %1 seconds and was "
                                          "ended.")
                               .arg(double(mLimit.count()) / 1000.0));
            mDeadline.reset();
            mProcess.signalGroup(SIGKILL);
        }
    }
}

void Instance::launch(const QString& program, const QStringList& arguments)
{
    // The office's own scratch folders stay inside the profile, which goes with the instance.
    mProcess.start(program, arguments, mProfile + QStringLiteral("/tmp"));
}

void Instance::start()
{
    const QString program = officeProgramPath(mSettings);
    const milliseconds startLimit = mSettings.startLimit;
    const Clock::time_point deadline = Clock::now() + startLimit;

    if (!QFileInfo(program).isFile())
        throw std::runtime_error(Sentence(
            QStringLiteral("LibreOffice is not installed: %1 was not found.").arg(program)));

    RemoveStaleProfiles();
    mProfile = MakeProfile();

    const QString pipeName = mPipeName
        = QStringLiteral("tessivane-%1-%2-%3")
              .arg(getpid())
              .arg(QRandomGenerator::global()->bounded(1U << 30))
              .arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
    const QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--invisible"),
        QStringLiteral("--nologo"), QStringLiteral("--norestore"), QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"), QStringLiteral("--nofirststartwizard"),
        QStringLiteral("-env:UserInstallation=") + ProfileUrl(mProfile),
        QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName)};

    const Reference<css::uno::XComponentContext> local = LocalContext();
    launch(program, arguments);
    mWatchdog = std::thread([this] { watch(); });

    Reference<css::bridge::XUnoUrlResolver> resolver;
    try {
        resolver = css::bridge::UnoUrlResolver::create(local);
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(
            Sentence(QStringLiteral("The LibreOffice connection cannot be set up: %1")
                         .arg(ToQString(e.Message))));
    }
    const rtl::OUString url = ToOUString(
        QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName));
    const QString noAnswer
        = QStringLiteral("LibreOffice did not answer within %1 seconds of its start.")
              .arg(double(startLimit.count()) / 1000.0);
    int restarts = 0;
    for (;;) {
        if (const auto code = mProcess.exitCode()) {
            // A fresh profile makes the first start end with 81 and expect a restart.
            if (*code == kFreshProfileRestart && restarts < 3) {
                mProcess.kill();
                launch(program, arguments);
                ++restarts;
                continue;
            }
            throw std::runtime_error(Sentence(
                QStringLiteral("LibreOffice ended at start-up with exit code %1.").arg(*code)));
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline || mGone.load())
            throw std::runtime_error(Sentence(noAnswer));
        try {
            remoteContext.set(waiting([&] {
                DeadlineGuard guard(
                    *this, std::chrono::duration_cast<milliseconds>(deadline - now));
                return resolver->resolve(url);
            }),
                UNO_QUERY_THROW);
            break;
        } catch (const css::connection::NoConnectException&) {
            pauseBeforeRetry();
        } catch (const css::uno::Exception&) {
            // The instance went away while connecting (or was ended as hung): the loop
            // decides by its exit code and the deadline.
            if (mGone.load())
                throw std::runtime_error(Sentence(noAnswer));
            pauseBeforeRetry();
        }
    }
    mConnected = true;
    desktop = guarded(QStringLiteral("start its desktop"),
        [&] { return css::frame::Desktop::create(remoteContext); });
}

void Instance::pauseBeforeRetry()
{
    if (mWaitHook && std::this_thread::get_id() == mWaitThread) {
        try {
            mWaitHook();
        } catch (...) {
            // Only a repaint: the start goes on regardless.
        }
    }
    std::this_thread::sleep_for(milliseconds(50));
}

void Instance::end(bool polite) noexcept
{
    if (auto ending = beginEnd(polite))
        finishEnd(std::move(*ending));
}

void Instance::quit(const std::shared_ptr<Instance>& instance)
{
    if (!instance->ender) {
        instance->end(true);
        return;
    }
    auto ending = instance->beginEnd(true);
    if (!ending)
        return;
    // The run goes on while the office closes down: the caller only waits for its own
    // references to go.
    instance->ender([instance, ending = std::move(*ending)]() mutable {
        instance->finishEnd(std::move(ending));
    });
}

std::optional<Instance::Ending> Instance::beginEnd(bool polite) noexcept
{
    if (mEnded)
        return std::nullopt;
    mEnded = true;
    markGone(polite ? QStringLiteral("LibreOffice has quit.")
                    : QStringLiteral("LibreOffice has been ended."));
    Ending ending;
    // Only an instance that was asked to terminate is given time to exit on its own.
    ending.ask = polite && mConnected && desktop.is() && mProcess.running();
    ending.desktop = desktop;
    for (const auto& document : documents)
        document->release();
    documents.clear();
    writer.clear();
    desktop.clear();
    remoteContext.clear();
    return ending;
}

void Instance::finishEnd(Ending ending) noexcept
{
    try {
        if (ending.ask) {
            DeadlineGuard guard(*this, kTerminateLimit);
            try {
                ending.desktop->terminate();
            } catch (...) {
                // The bridge goes away while the office exits; the signals below follow.
            }
        }
    } catch (...) { }
    ending.desktop.clear();

    if (!mProcess.waitForExit(ending.ask ? kExitAfterTerminate : milliseconds(0))) {
        mProcess.signalGroup(SIGTERM);
        mProcess.waitForExit(kExitAfterSigterm);
    }
    mProcess.kill();
    {
        std::lock_guard lock(mMutex);
        mStopWatchdog = true;
        mWake.notify_all();
    }
    if (mWatchdog.joinable())
        mWatchdog.join();
    // A killed office leaves its pipe files behind; a terminated one has removed them.
    RemoveProfile(mProfile);
    if (!mPipeName.isEmpty())
        RemovePipeFiles(mPipeName);
    if (onEnded) {
        try {
            onEnded();
        } catch (...) { }
    }
}

void Instance::warmUp()
{
    call(QStringLiteral("get ready"), [&] {
        Sequence<css::beans::PropertyValue> arguments(1);
        arguments[0] = Property("MacroExecutionMode", Any(sal_Int16(0)));
        Reference<css::lang::XComponent> component = desktop->loadComponentFromURL(
            rtl::OUString("private:factory/scalc"), rtl::OUString("_blank"), 0, arguments);
        Reference<css::util::XCloseable>(component, UNO_QUERY_THROW)->close(true);
    });
    warm = true;
}

void Instance::abort() noexcept
{
    markGone(QStringLiteral("LibreOffice has been ended."));
    mProcess.signalGroup(SIGKILL);
}

bool Instance::answers(milliseconds limit) noexcept
{
    try {
        if (!mConnected || !remoteContext.is() || !alive())
            return false;
        DeadlineGuard guard(*this, limit);
        remoteContext->getServiceManager();
        return alive();
    } catch (...) {
        return false;
    }
}

std::shared_ptr<DocumentState> Instance::open(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw std::runtime_error(Sentence(
            QStringLiteral("'%1' could not be found. Check the spelling of the file name, and "
                           "verify that the file location is correct.")
                .arg(path)));
    auto document = std::make_shared<DocumentState>();
    document->path = info.absoluteFilePath();
    call(QStringLiteral("open %1").arg(path), [&] {
        // Loaded with a view (no Hidden): only then do the selection, zoom, frozen panes and
        // grid lines of the view reach a saved .xls.
        Sequence<css::beans::PropertyValue> arguments(1);
        arguments[0] = Property("MacroExecutionMode", Any(sal_Int16(0)));
        Reference<css::lang::XComponent> component
            = desktop->loadComponentFromURL(FileUrl(path), rtl::OUString("_blank"), 0, arguments);
        if (!component.is())
            throw std::runtime_error(
                Sentence(QStringLiteral("LibreOffice could not open %1.").arg(path)));
        document->model.set(component, UNO_QUERY_THROW);
        document->document.set(component, UNO_QUERY);
        if (!document->document.is()) {
            Reference<css::util::XCloseable>(component, UNO_QUERY_THROW)->close(true);
            throw std::runtime_error(
                Sentence(QStringLiteral("%1 is not a spreadsheet.").arg(path)));
        }
    });
    documents.push_back(document);
    return document;
}

std::shared_ptr<DocumentState> Instance::activeDocument()
{
    checkAlive();
    if (documents.empty())
        throw std::runtime_error("There is no open workbook in LibreOffice.");
    return documents.back();
}

std::shared_ptr<SheetState> Instance::sheetOf(
    const std::shared_ptr<DocumentState>& document, int index)
{
    checkAlive();
    if (document->closed)
        throw std::runtime_error("The workbook has been closed.");
    if (index < 0)
        throw std::runtime_error(
            Sentence(QStringLiteral("Worksheets(%1): there is no such sheet.").arg(index + 1)));
    if (size_t(index) < document->sheets.size() && document->sheets[size_t(index)]
        && document->sheets[size_t(index)]->sheet.is())
        return document->sheets[size_t(index)];
    auto state = std::make_shared<SheetState>();
    state->index = index;
    call(QStringLiteral("find sheet %1").arg(index + 1), [&] {
        Reference<css::container::XIndexAccess> sheets(
            document->document->getSheets(), UNO_QUERY_THROW);
        if (index >= sheets->getCount())
            throw std::runtime_error(Sentence(
                QStringLiteral("Worksheets(%1): the workbook has no such sheet.").arg(index + 1)));
        state->sheet.set(sheets->getByIndex(index), UNO_QUERY_THROW);
    });
    if (document->sheets.size() <= size_t(index))
        document->sheets.resize(size_t(index) + 1);
    document->sheets[size_t(index)] = state;
    return state;
}

} // namespace tessivane::office
