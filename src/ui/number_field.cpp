#include "ui/number_field.h"

#include "base/strings.h"

namespace quelta {

std::int32_t UpDownPosition(std::int64_t value, const NumberRange& range) {
  // The control's position is a 16-bit signed number: the value loses its
  // upper bits on the way in, then the control clamps it.
  const auto position = static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
  if (position < range.min) return range.min;
  if (position > range.max) return range.max;
  return position;
}

std::int32_t ReadNumberText(const std::string& text, const NumberRange& range,
                            std::int32_t previous) {
  std::int32_t value = 0;
  if (!TryStrToInt(Trim(text), value)) return previous;
  return UpDownPosition(value, range);
}

std::int32_t StepNumber(std::int32_t value, int delta, const NumberRange& range) {
  const std::int64_t next = static_cast<std::int64_t>(value) +
                            static_cast<std::int64_t>(delta) * range.step;
  if (next < range.min) return range.min;
  if (next > range.max) return range.max;
  return static_cast<std::int32_t>(next);
}

}  // namespace quelta
