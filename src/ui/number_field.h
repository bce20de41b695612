// A number field: an edit field paired with an up-down control that holds
// the value as a signed 16-bit position and keeps it within a range.
//
// Promises: putting a value into the control keeps its low 16 bits as a
// signed number and clamps that to [min, max] (so 65537 becomes 1 before
// clamping); a text that is not a whole 32-bit decimal number leaves the
// previous value. Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quelta {

struct NumberRange {
  std::int32_t min;
  std::int32_t max;
  std::int32_t step = 1;  // one click of the up-down arrows
};

// The position the up-down control takes when value is put into it.
std::int32_t UpDownPosition(std::int64_t value, const NumberRange& range);
// The value after the field's text was read: the text (blanks around it
// ignored) put into the up-down control, or previous when it is not a
// whole number.
std::int32_t ReadNumberText(const std::string& text, const NumberRange& range,
                            std::int32_t previous);
// The value after delta clicks on the arrows (up positive), clamped.
std::int32_t StepNumber(std::int32_t value, int delta, const NumberRange& range);

}  // namespace quelta
