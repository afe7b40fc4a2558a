#pragma once
// What a reader would see of a rendered document, near enough for tests:
// tags, the <head> and zero-width spaces removed, common character
// references decoded. And how often a piece occurs in a text.

#include <string>
#include <string_view>

std::string VisibleText(std::string_view html);

std::size_t Count(std::string_view text, std::string_view what);
