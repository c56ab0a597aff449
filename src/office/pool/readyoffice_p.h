#pragma once

// An office of the session as the pool keeps it: started, warmed up and handed out as the
// object model's application. Private to the office rooms.

#include "office/pool/instancepool.h"

#include <memory>

namespace tessivane {

class OfficeInstance;

class ReadyOffice : public PooledInstance, public std::enable_shared_from_this<ReadyOffice>
{
public:
    explicit ReadyOffice(std::shared_ptr<OfficeInstance> instance);

    void start() override;
    /// Opens the settings' warm-up workbook (or an empty sheet), draws a picture of it, saves
    /// it as .xls and closes it, so that the office has loaded what a run loads.
    void warmUp() override;
    bool isWarm() const override { return mWarm; }
    bool alive() override;
    bool answers(std::chrono::milliseconds limit) noexcept override;
    void abort() noexcept override;
    void end(bool polite) noexcept override;

    /// The application holds this ready office as long as it lives, so that the pool knows
    /// it as one of those it handed out.
    ApplicationPtr handOut(
        std::function<void(std::function<void()>)> ender, std::function<void()> onEnded) override;
    bool owns(const Application& application) const override;
    bool isUnused() const override;
    bool takeBack() override;
    void setHelperSource(std::function<ApplicationPtr()> takeReady) override;

private:
    std::shared_ptr<OfficeInstance> mInstance;
    bool mWarm = false;
};

} // namespace tessivane
