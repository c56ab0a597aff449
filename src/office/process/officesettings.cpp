#include "office/process/officesettings.h"

namespace tessivane {

namespace {

constexpr char kInstalledProgram[] = "/usr/lib/libreoffice/program/soffice.bin";

} // namespace

QString defaultOfficeAllocator()
{
    return QStringLiteral(TESSIVANE_OFFICE_ALLOCATOR);
}

QString officeProgramPath(const OfficeSettings& settings)
{
    return settings.program.isEmpty() ? QString::fromLatin1(kInstalledProgram) : settings.program;
}

} // namespace tessivane
