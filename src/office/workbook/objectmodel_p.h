#pragma once

// The object model shaped like the spreadsheet automation (Application, Workbooks, Workbook,
// Worksheet) over one LibreOffice instance. Private to the layer.

#include "office/automation/spreadsheet.h"

#include <memory>

namespace tessivane {

class OfficeInstance;

/// The application object of a started instance; the instance ends with its last reference.
ApplicationPtr makeApplication(std::shared_ptr<OfficeInstance> instance);

/// The instance under an application object, or none when it is not a LibreOffice one.
std::shared_ptr<OfficeInstance> instanceOf(const Application& application);

} // namespace tessivane
