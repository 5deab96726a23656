#include "breakpoint/node_store.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <limits>
#include <utility>

#include "common/c_numbers.h"

namespace kurvo {

using cnum::appendFixed;
using cnum::readCNumber;

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "coordinates are IEEE 754 binary32, numbers read binary64");

float graphXFromCurve(float x) {
  return x * kTen;
}
float graphYFromCurve(float y) {
  return (kTen - y) * kTen;
}
float curveXFromGraph(float gx) {
  return gx * kTenth;
}
float nodeTextYFromGraph(float gy) {
  return kTen - gy * kTenth;
}
float axisYFromGraph(float gy) {
  return (kHundred - gy) * kTenth;
}

namespace {

constexpr std::ptrdiff_t kAbsent = -1;

// A number read with strtod, narrowed to a 32-bit float. Under IEEE 754
// (asserted above) a value beyond the float range becomes ±inf.
float narrow(double value) {
  return static_cast<float>(value);
}

// The position of the first `ch` at or after a point of a text that only
// moves forward. It is remembered, so a text is searched once per character
// however many entries it has (a text without any "," would otherwise be
// searched to its end once for every entry).
class NextOf {
 public:
  NextOf(std::string_view text, char ch) : text_(text), ch_(ch), at_(text.find(ch)) {}
  // Relative to `from`, kAbsent when there is none.
  std::ptrdiff_t after(std::size_t from) {
    if (at_ != std::string_view::npos && at_ < from) at_ = text_.find(ch_, from);
    if (at_ == std::string_view::npos) return kAbsent;
    return static_cast<std::ptrdiff_t>(at_ - from);
  }

 private:
  std::string_view text_;
  char ch_;
  std::size_t at_;
};

// Reads the number of a field of the remaining text, remembering the last
// field read: a field that runs to the end of the text can start at the
// same "(" or "," for many entries in a row, and a long run of digits there
// is then read once, not once per entry.
class FieldReader {
 public:
  // The characters of `rest` from `start` up to `endBefore`, or to the end
  // of `rest` where `endBefore` lies before `start`.
  double read(std::string_view rest, std::ptrdiff_t start, std::ptrdiff_t endBefore) {
    const std::ptrdiff_t length = endBefore - start;
    const std::string_view field =
        length < 0 ? rest.substr(static_cast<std::size_t>(start))
                   : rest.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    if (field.data() != lastData_ || field.size() != lastSize_) {
      lastData_ = field.data();
      lastSize_ = field.size();
      last_ = readCNumber(field);
    }
    return last_;
  }

 private:
  const char* lastData_ = nullptr;
  std::size_t lastSize_ = 0;
  double last_ = 0.0;
};

// The number of entries parseNodeText stores from a non-empty text: one per
// ")" until a ")" stands first in the remaining text or none is left.
std::size_t countEntries(std::string_view text) {
  std::size_t entries = 0;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t close = text.find(')', from);
    if (close == std::string_view::npos || close == from) break;
    ++entries;
    from = close + 1;
  }
  return entries;
}

// The length of a "%f" number once trimNumber has shortened it.
std::size_t trimmedLength(std::string_view number) {
  if (number.empty()) return 0;
  std::size_t i = number.size() - 1;
  while (i > 0 && number[i] == '0') --i;
  if (number[i] == '.') return i;  // the "." goes too
  return i + 1;
}

void appendTrimmed(std::string& out, float value) {
  const std::size_t start = out.size();
  appendFixed(out, value, 6);
  out.resize(start + trimmedLength(std::string_view(out).substr(start)));
  out += ',';
}

}  // namespace

NodeStore::NodeStore()
    : nodes_(std::make_unique<BreakpointNode[]>(kInitialCapacity)), capacity_(kInitialCapacity) {}

NodeStore::NodeStore(const NodeStore& other)
    : nodes_(other.capacity_ ? std::make_unique<BreakpointNode[]>(other.capacity_) : nullptr),
      count_(other.count_),
      capacity_(other.capacity_) {
  std::copy_n(other.nodes_.get(), other.capacity_, nodes_.get());
}

NodeStore& NodeStore::operator=(const NodeStore& other) {
  if (this != &other) *this = NodeStore(other);
  return *this;
}

NodeStore::NodeStore(NodeStore&& other) noexcept
    : nodes_(std::move(other.nodes_)),
      count_(std::exchange(other.count_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

NodeStore& NodeStore::operator=(NodeStore&& other) noexcept {
  nodes_ = std::move(other.nodes_);
  count_ = std::exchange(other.count_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

NodeStore::~NodeStore() = default;

void NodeStore::reserveInSteps(std::size_t wanted) {
  if (wanted <= capacity_) return;
  const std::size_t steps = (wanted - capacity_ + kCapacityStep - 1) / kCapacityStep;
  const std::size_t capacity = capacity_ + steps * kCapacityStep;
  auto fresh = std::make_unique<BreakpointNode[]>(capacity);  // all entries zero
  std::copy_n(nodes_.get(), count_, fresh.get());
  nodes_ = std::move(fresh);
  capacity_ = capacity;
}

bool NodeStore::parseNodeText(std::string_view text, std::string_view initConfig) {
  if (text.empty()) text = initConfig;
  // Room for every entry first, to the capacity that growing by 40 entries
  // one step at a time would reach (one allocation, not one per step).
  reserveInSteps(countEntries(text));
  count_ = 0;
  if (text.empty()) return true;

  NextOf open(text, '('), comma(text, ','), close(text, ')');
  FieldReader xReader, yReader;
  std::size_t from = 0;  // the remaining text is text.substr(from)
  for (;;) {
    const std::string_view rest = text.substr(from);
    const std::ptrdiff_t a = open.after(from);
    const std::ptrdiff_t b = comma.after(from);
    const std::ptrdiff_t c = close.after(from);
    if (c < 1) return false;
    const float x = narrow(xReader.read(rest, a + 1, b));
    const float y = narrow(yReader.read(rest, b + 1, c));
    assert(count_ < capacity_);  // countEntries counted this entry
    nodes_[count_++] = BreakpointNode{graphXFromCurve(x), graphYFromCurve(y)};
    from += static_cast<std::size_t>(c) + 1;
    if (from == text.size()) return true;
  }
}

std::string NodeStore::formatNodeText() const {
  std::string out;
  out.reserve(count_ * 18);  // the usual length of an entry
  for (const BreakpointNode& node : nodes()) {
    // "(%3.5f,%3.5f)": the width 3 never pads, five decimals give 7 or more.
    out += '(';
    appendFixed(out, curveXFromGraph(node.x), 5);
    out += ',';
    appendFixed(out, nodeTextYFromGraph(node.y), 5);
    out += ')';
  }
  return out;
}

AxisArrays NodeStore::formatAxisArrays() const {
  AxisArrays arrays;
  arrays.x.reserve(count_ * 6);
  arrays.y.reserve(count_ * 6);
  for (const BreakpointNode& node : nodes()) {
    appendTrimmed(arrays.x, curveXFromGraph(node.x));
    appendTrimmed(arrays.y, axisYFromGraph(node.y));
  }
  return arrays;
}

void NodeStore::insertNode(float gx, float gy) {
  std::size_t i = 0;
  while (i < count_ && nodes_[i].x < gx) ++i;
  const BreakpointNode node{gx, gy};
  if (count_ == capacity_) {
    const std::size_t capacity = capacity_ + kCapacityStep;
    auto fresh = std::make_unique<BreakpointNode[]>(capacity);
    std::copy_n(nodes_.get(), i, fresh.get());
    fresh[i] = node;
    std::copy(nodes_.get() + i, nodes_.get() + count_, fresh.get() + i + 1);
    nodes_ = std::move(fresh);
    capacity_ = capacity;
  } else {
    std::copy_backward(nodes_.get() + i, nodes_.get() + count_, nodes_.get() + count_ + 1);
    nodes_[i] = node;
  }
  ++count_;
}

bool NodeStore::removeNode(std::size_t index) {
  if (index >= count_) return false;
  std::copy(nodes_.get() + index + 1, nodes_.get() + count_, nodes_.get() + index);
  --count_;
  return true;
}

std::string joinAxisArrays(std::string_view xText, std::string_view yText) {
  std::string out;
  out.reserve(xText.size() + yText.size());
  std::size_t px = 0;
  std::size_t py = 0;
  std::size_t cx = xText.find(',', px);
  std::size_t cy = yText.find(',', py);
  constexpr auto npos = std::string_view::npos;
  while (px < xText.size() && py < yText.size() && cx != npos && cy != npos) {
    out += '(';
    out.append(xText.substr(px, cx - px));
    out += ',';
    out.append(yText.substr(py, cy - py));
    out += ')';
    px = cx + 1;
    py = cy + 1;
    cx = xText.find(',', px);
    cy = yText.find(',', py);
  }
  return out;
}

std::string trimNumber(std::string_view formatted) {
  return std::string(formatted.substr(0, trimmedLength(formatted)));
}

}  // namespace kurvo
