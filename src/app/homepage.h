#pragma once

#include <functional>

namespace tessivane {

/// Once in about a hundred starts opens the maker's home page beside the program; never
/// waited for and never a failure. The draw gives a number from 1 to 100.
void MaybeOpenHomePage(const std::function<int()>& draw = {});

} // namespace tessivane
