#pragma once
// Readable names of C++ symbols (the demangler of the C++ runtime).

#include <cstddef>
#include <string_view>

namespace crash {

// Writes the readable form of the raw symbol name `raw` into `out` (always
// terminated, cut to fit). `nameOnly` leaves out the parameter list and what
// follows it ("ns::Type::Run" for "ns::Type::Run(int) const"). A name that is
// not a mangled C++ name is copied as it is. False when `raw` is empty.
bool UndecorateSymbolName(const char* raw, char* out, std::size_t size, bool nameOnly);

// The length of `full` without its own parameter list and what follows it.
std::size_t NameOnlyLength(std::string_view full);

} // namespace crash
