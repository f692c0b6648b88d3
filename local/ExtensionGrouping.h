#pragma once
#include <string>
#include <vector>

// The extension of a name for grouping: the text after the last ".", "无"
// for a name without ".", folded so that case does not matter (also beyond
// ASCII).
std::string groupingExtension(const std::string& name);

// Brings names with the same extension together, in place: the groups keep
// the order of their first names; names moved out of a group's way may
// change their order.
void groupByExtension(std::vector<std::string>& names);
