#include "office/session/officeinstance_p.h"

#include <QFile>
#include <QFileInfo>

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XCloseable.hpp>

namespace tessivane {

namespace {

// Between two attempts to connect to an office that is still starting.
constexpr milliseconds kRetryPause(50);

} // namespace

void OfficeInstance::start()
{
    mConnection.open([this](const std::function<void()>& attempt) { onWorker(attempt); },
        [this] { pauseBeforeRetry(); });
    mDesktop = guarded(QStringLiteral("start its desktop"),
        [&] { return css::frame::Desktop::create(mConnection.context()); });
}

bool OfficeInstance::takeBack()
{
    mEnder = nullptr;
    mOnEnded = nullptr;
    mHelperSource = nullptr;
    return true;
}

void OfficeInstance::pauseBeforeRetry()
{
    if (const WaitHook hook = hookOfThisThread()) {
        try {
            hook();
        } catch (...) {
            // Only a repaint: the start goes on regardless.
        }
    }
    std::this_thread::sleep_for(kRetryPause);
}

void OfficeInstance::end(bool polite) noexcept
{
    if (auto desktop = beginEnd())
        finishEnd(polite, std::move(*desktop));
}

void OfficeInstance::quit(const std::shared_ptr<OfficeInstance>& instance)
{
    if (!instance->mEnder) {
        instance->end(true);
        return;
    }
    auto desktop = instance->beginEnd();
    if (!desktop)
        return;
    instance->mConnection.markGone(QStringLiteral("LibreOffice has quit."));
    // The run goes on while the office closes down: the caller only waits for its own
    // references to go.
    instance->mEnder([instance, desktop = std::move(*desktop)]() mutable {
        instance->finishEnd(true, std::move(desktop));
    });
}

void OfficeInstance::releaseHelper(HelperOffice helper) noexcept
{
    try {
        if (helper.opened.valid())
            helper.opened.wait();
        if (helper.application)
            helper.application->Quit();
    } catch (...) { }
}

std::optional<Reference<css::frame::XDesktop2>> OfficeInstance::beginEnd() noexcept
{
    if (mEnded)
        return std::nullopt;
    mEnded = true;
    {
        std::lock_guard lock(mAheadMutex);
        releaseHelper(std::exchange(mAhead, HelperOffice()));
    }
    for (const auto& document : mDocuments)
        document->release();
    mDocuments.clear();
    mWriter.clear();
    Reference<css::frame::XDesktop2> desktop = mDesktop;
    mDesktop.clear();
    return desktop;
}

void OfficeInstance::finishEnd(bool polite, Reference<css::frame::XDesktop2> desktop) noexcept
{
    mConnection.close(polite, std::move(desktop));
    if (mOnEnded) {
        try {
            mOnEnded();
        } catch (...) { }
    }
}

std::shared_ptr<DocumentState> OfficeInstance::open(const QString& path)
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
        arguments[0] = Property("MacroExecutionMode", Any(kNeverExecuteMacros));
        Reference<css::lang::XComponent> component
            = mDesktop->loadComponentFromURL(fileUrl(path), rtl::OUString("_blank"), 0, arguments);
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
    mDocuments.push_back(document);
    return document;
}

std::shared_ptr<DocumentState> OfficeInstance::activeDocument()
{
    checkAlive();
    if (mDocuments.empty())
        throw std::runtime_error("There is no open workbook in LibreOffice.");
    return mDocuments.back();
}

std::shared_ptr<SheetState> OfficeInstance::sheetOf(
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

} // namespace tessivane
