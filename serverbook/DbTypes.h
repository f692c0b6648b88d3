#pragma once
// The values passed to the record database: field definitions for create and
// field values for append and modify. Text is UTF-8.
#include <cstdint>
#include <string>
#include <variant>

namespace serverbook {

struct FieldDef {
    std::string name;
    int type = 10;
    int width = 0;
};

// std::monostate leaves the field untouched.
using FieldValue = std::variant<std::monostate, int64_t, double, bool, std::string>;

} // namespace serverbook
