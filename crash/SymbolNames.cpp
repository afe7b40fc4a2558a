#include "crash/SymbolNames.h"

#include <cstdlib>
#include <cstring>
#include <cxxabi.h>

namespace crash {

namespace {

// The length of the operator token at `at` ("operator" already seen) when it
// is made of angle brackets or parentheses; 0 otherwise.
std::size_t BracketOperatorLength(std::string_view text, std::size_t at)
{
    for (std::string_view token : {"<=>", "<<=", ">>=", "->*", "()", "<<", ">>", "<=", ">=", "->", "<", ">"}) {
        if (text.compare(at, token.size(), token) == 0)
            return token.size();
    }
    return 0;
}

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

std::size_t NameOnlyLength(std::string_view full)
{
    // The function's own parameter list is the last group of parentheses
    // outside template arguments; the brackets of "operator()" and of the
    // operators made of angle brackets count as neither.
    constexpr std::string_view kOperator = "operator";
    std::size_t cut = full.size();
    int angles = 0;
    int parens = 0;
    std::size_t open = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (full.compare(i, kOperator.size(), kOperator) == 0 && (i == 0 || !IsNameChar(full[i - 1]))) {
            i += kOperator.size();
            i += BracketOperatorLength(full, i);
            --i;
            continue;
        }
        const char c = full[i];
        if (c == '<')
            ++angles;
        else if (c == '>' && angles > 0)
            --angles;
        else if (c == '(' && angles == 0 && parens++ == 0)
            open = i;
        else if (c == ')' && angles == 0 && parens > 0 && --parens == 0)
            cut = open;
    }
    return cut;
}

bool UndecorateSymbolName(const char* raw, char* out, std::size_t size, bool nameOnly)
{
    if (size == 0)
        return false;
    out[0] = '\0';
    if (!raw || !*raw)
        return false;
    // Only names of the C++ ABI: the demangler also reads bare type codes,
    // which would show a C function named "f" as "float".
    int status = -1;
    char* demangled = std::strncmp(raw, "_Z", 2) == 0 ? abi::__cxa_demangle(raw, nullptr, nullptr, &status) : nullptr;
    std::string_view name = status == 0 && demangled ? std::string_view(demangled) : std::string_view(raw);
    if (nameOnly)
        name = name.substr(0, NameOnlyLength(name));
    const std::size_t n = name.size() < size ? name.size() : size - 1;
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
    std::free(demangled);
    return true;
}

} // namespace crash
