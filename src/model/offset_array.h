// A growable array indexed from any lower bound, negative ones included.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <utility>

namespace tarvel {

// The valid indices form one contiguous range, lowerBound to lowerBound +
// count - 1, that grows to cover any index touched: there is no out-of-range
// error. The first index ever touched becomes the lower bound.
//
// Growth follows fixed rules, so that capacity and bounds are predictable:
// - upwards, the capacity doubles (from 1) until the new offset fits, and
//   every element keeps its slot;
// - downwards, the capacity doubles until it is strictly greater than the new
//   number of elements, fresh storage is taken even when the old would do,
//   and every element moves up by the shift.
// Every slot that has not been assigned holds T{}.
template <typename T>
class OffsetArray {
 public:
  OffsetArray() = default;
  OffsetArray(const OffsetArray&) = delete;
  OffsetArray& operator=(const OffsetArray&) = delete;
  OffsetArray(OffsetArray&&) noexcept = default;
  OffsetArray& operator=(OffsetArray&&) noexcept = default;

  // Makes `index` a valid index. An index that is already valid changes
  // nothing and allocates nothing.
  void EnsureIndex(std::int32_t index);

  // EnsureIndex(index), then the element at `index`. Reading outside the
  // range thus extends it and yields T{}. The reference stays good until the
  // next call that grows the array.
  T& At(std::int32_t index) {
    EnsureIndex(index);
    return elements[static_cast<std::size_t>(index - lowerBound)];
  }

  // The element at a valid index, without growth.
  // REQUIRES: LowerBound() <= index < End().
  const T& operator[](std::int32_t index) const {
    assert(index >= lowerBound && index < End());
    return elements[static_cast<std::size_t>(index - lowerBound)];
  }

  std::int32_t LowerBound() const { return lowerBound; }
  std::int32_t Count() const { return count; }
  std::int32_t Capacity() const { return capacity; }
  // One past the highest valid index.
  std::int32_t End() const { return lowerBound + count; }

 private:
  void Reallocate(std::int32_t shift) {
    auto fresh = std::make_unique<T[]>(static_cast<std::size_t>(capacity));
    for (std::int32_t j = 0; j < count; ++j) {
      fresh[static_cast<std::size_t>(shift + j)] = std::move(elements[static_cast<std::size_t>(j)]);
    }
    elements = std::move(fresh);
  }

  static std::int32_t Doubled(std::int32_t capacity) { return capacity == 0 ? 1 : capacity * 2; }

  std::unique_ptr<T[]> elements;  // slot k holds the element of index lowerBound + k
  std::int32_t lowerBound = 0;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};

template <typename T>
void OffsetArray<T>::EnsureIndex(std::int32_t index) {
  if (count == 0) lowerBound = index;
  if (index < lowerBound) {
    const std::int32_t shift = lowerBound - index;
    while (count + shift >= capacity) capacity = Doubled(capacity);
    Reallocate(shift);
    lowerBound = index;
    count += shift;
  }
  const std::int32_t offset = index - lowerBound;
  if (offset >= capacity) {
    while (offset >= capacity) capacity = Doubled(capacity);
    Reallocate(/*shift=*/0);
  }
  if (offset + 1 > count) count = offset + 1;
}

}  // namespace tarvel
