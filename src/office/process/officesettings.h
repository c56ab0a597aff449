#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

namespace tessivane {

/// The allocator library the offices are started with where the system has it (see
/// OfficeSettings::allocator).
QString defaultOfficeAllocator();

/// How the private offices are started and held to account.
struct OfficeSettings
{
    /// The program started as soffice.bin; empty: the installed LibreOffice.
    QString program;
    /// How long an office may take from start to connected.
    std::chrono::milliseconds startLimit {30000};
    /// How long an office may leave a call unanswered before it is ended as hung.
    std::chrono::milliseconds callLimit {30000};
    /// Buffered: puts are kept and written as blocks before the next other call into the
    /// office. Unbuffered: every put is written at once, cell by cell (measurements).
    bool bufferedWrites = true;
    /// A workbook (the run's template) that the offices kept ready open, draw a picture of,
    /// save as .xls and close while they wait, so that a run finds what it loads already
    /// loaded (the .xls filters, the fonts, the drawing); empty: an empty sheet.
    QByteArray warmUpWorkbook;
    /// A memory allocator library preloaded into the office in place of the system's, when
    /// the file exists and the user preloads nothing: the office draws a long sheet's
    /// picture some 15 % faster with it. Empty, or not there: the system's, tuned.
    QString allocator = defaultOfficeAllocator();
    /// The offices write a picture's bands to files themselves, through a small Python script,
    /// where LibreOffice has Python scripting: a long picture some 12 % faster. False: every
    /// band comes over the connection (comparisons).
    bool pictureScript = true;
};

/// The program an office is started as: settings.program, or the installed one.
QString officeProgramPath(const OfficeSettings& settings);

} // namespace tessivane
