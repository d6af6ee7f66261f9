#pragma once
//
//  The scenario text as the PC stands after sticks were plugged: a program installed later (the
//  setting tool) builds its own copy of the PC from it and must see the same sticks.
//
#include <set>
#include <string>

namespace demo {

// The text with the word `unplugged` dropped from the lines of the named sticks; everything
// else, comments and quoted values included, is kept as written.
std::string WithSticksPlugged(const std::string& text, const std::set<std::string>& plugged);

}  // namespace demo
