// Reading a kept variant value later: its kind, its element count and its
// value in one of the program's kinds, optionally one element of an array.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::automation {

// 0 empty, 1 number, 2 text, 3 boolean, 4 date-time, 5 object, 6 error,
// -1 anything else; an array gives 13 for variant elements, else its
// element kind plus 6.
int GetKind(const Variant& value);

// The number of elements over all dimensions, or -1 without an array.
int ElementCount(const Variant& value);

// The value converted to a kind; with `index` (1-based, over all dimensions
// with the first varying fastest) one element of an array. A failure gives the
// empty value and sets LastCall().
std::string GetText(const Variant& value, int index = 0);
double GetNumber(const Variant& value, int index = 0);
bool GetBool(const Variant& value, int index = 0);
double GetDate(const Variant& value, int index = 0);
Object GetObject(const Variant& value, int index = 0);
Variant GetVariant(const Variant& value, int index = 0);
std::vector<std::uint8_t> GetBytes(const Variant& value, int index = 0);

}  // namespace rankora::automation
