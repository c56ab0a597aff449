#pragma once

#include "office/spreadsheet.h"

#include <QString>

#include <chrono>

// The LibreOffice implementation of the spreadsheet application. No UNO type appears here.

namespace tessivane {

/// Starts a private LibreOffice Calc: soffice.bin in its own process group with a
/// throw-away profile, connected over a uniquely named pipe. Throws a std::runtime_error
/// (missing program at once, no answer within the start limit). whileWaiting runs on the
/// calling thread while it waits for the start and, later, for each call.
ApplicationPtr StartLibreOffice(const WaitHook& whileWaiting = {});

/// The program started as soffice.bin (tests point it at a missing file or at a program that
/// never answers); an empty path restores /usr/lib/libreoffice/program/soffice.bin.
void SetOfficeProgram(const QString& path);
QString OfficeProgram();

/// How long an instance may take from start to connected.
void SetStartTimeLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds StartTimeLimit();

/// How long one call into an instance may take before the instance is ended as hung.
void SetCallTimeLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds CallTimeLimit();

/// Buffered (the default): puts are kept and written as blocks before the next other call
/// into the instance. Unbuffered: every put is written at once, cell by cell (measurements).
void SetBufferedCellWrites(bool buffered);

/// Drops the reference on a background thread, so that ending the instance does not hold
/// up the caller. The reference is empty afterwards.
void ReleaseInBackground(ApplicationPtr&& application);

/// Waits until every instance handed to ReleaseInBackground has ended (tests, exit).
void WaitForBackgroundReleases();

} // namespace tessivane
