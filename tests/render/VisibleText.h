#pragma once
// What a reader would see of a rendered document, near enough for tests:
// tags, the <head> and zero-width spaces removed, common character
// references decoded.

#include <string>
#include <string_view>

std::string VisibleText(std::string_view html);
