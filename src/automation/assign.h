// Filling a variant value from one of the program's plain values, as callers
// do before passing variants on (a script procedure's arguments, say).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "automation/dispatch.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::automation {

// Arrays of plain values, flat in storage order.
using PlainArray = std::variant<std::vector<std::string>, std::vector<std::int16_t>, std::vector<std::int32_t>,
                                std::vector<std::int64_t>, std::vector<float>, std::vector<double>, std::vector<bool>,
                                std::vector<DateTime>, std::vector<Object>, std::vector<Variant>>;

// One plain value: text (GBK), byte, short, integer, 64-bit integer, float,
// double, boolean, date-time, object, variant, byte array or another array.
using PlainValue = std::variant<std::string, std::uint8_t, std::int16_t, std::int32_t, std::int64_t, float, double,
                                bool, DateTime, Object, Variant, std::vector<std::uint8_t>, PlainArray>;

// Without an index (0): clears `target` and stores `value` in it; a 64-bit
// integer keeps its low 32 bits, an object is stored as VT_UNKNOWN, arrays
// become one-dimensional arrays with lower bound 1. With a 1-based index:
// stores `value`, converted to the element type, into that element of the
// array `target` holds. True when the value was stored; an empty object
// stores nothing.
bool Assign(Variant& target, const PlainValue& value, int index = 0);

}  // namespace rankora::automation
