#pragma once

// Inside the LibreOffice layer only: this header brings in UNO types, which the layer's
// public headers never do.

#include "office/automation/spreadsheet.h"

#include <QString>

#include <com/sun/star/frame/XDesktop2.hpp>

#include <functional>

namespace tessivane {

/// Runs operation on the desktop of an instance that startLibreOffice made, for document work
/// that the object model does not offer. It runs under the instance's call time limit and its
/// supervision: a UNO failure becomes a readable std::runtime_error ("LibreOffice could not
/// <what>: ..."), a dead or hung instance SpreadsheetGone. Any other instance throws.
void callOnDesktop(Application& application, const QString& what,
    const std::function<void(const css::uno::Reference<css::frame::XDesktop2>&)>& operation);

} // namespace tessivane
