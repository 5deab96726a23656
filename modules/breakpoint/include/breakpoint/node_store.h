// The breakpoint node list of Kurvo: the node store, its two
// coordinate systems and its three text forms. No host services, no GUI.
//
// Curve units are those of the texts and outputs (X: 10 spans the panel at
// zoom 1; Y: 0 at the bottom edge, 10 at the top). Graph units are those of
// the store (gx = X * 10; gy = (10 - Y) * 10, 0 at the top, 100 at the
// bottom). Every conversion is done in 32-bit float arithmetic with the
// float constants 10, 100 and 0.1, one rounding after each operation, on
// every target (the 32-bit build uses SSE arithmetic for this, see
// CMakeLists.txt).
//
// Behaviour worth knowing:
// - parseNodeText keeps every entry of a text: the store grows by 40 entries
//   at a time as insertNode grows it (to the same capacity), never drops any.
// - No text has a length limit: formatNodeText writes every node (a fixed
//   buffer of 1,000 bytes would cut a curve of more than 55 nodes), and
//   numbers of any size, inf and nan included, are written in full.
// - Numbers are read and written as in the "C" locale whatever the process
//   locale is (common/c_numbers.h).
// - removeNode with an index outside the store changes nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kurvo {

// One node: two 32-bit floats in this order, in graph units.
struct BreakpointNode {
  float x;
  float y;
};

inline constexpr float kTen = 10.0f;
inline constexpr float kHundred = 100.0f;
inline constexpr float kTenth = 0.1f;  // the float nearest to 0.1

// The init config text that stands in for an empty node-list text.
inline constexpr std::string_view kDefaultInitConfig = "(0.0,5.0)(10.0,5.0)";

// Curve units to graph units, as parseNodeText stores them.
float graphXFromCurve(float x);  // x * 10
float graphYFromCurve(float y);  // (10 - y) * 10
// Graph units to curve units: X for both texts, Y as the node-list text
// computes it and Y as the axis arrays compute it (the two can differ in the
// last bit; each text keeps its own formula).
float curveXFromGraph(float gx);     // gx * 0.1
float nodeTextYFromGraph(float gy);  // 10 - gy * 0.1
float axisYFromGraph(float gy);      // (100 - gy) * 0.1

// The two axis array texts: each number followed by ",", the last included.
struct AxisArrays {
  std::string x;
  std::string y;
};

class NodeStore {
 public:
  static constexpr std::size_t kInitialCapacity = 40;
  static constexpr std::size_t kCapacityStep = 40;

  // Capacity 40, all entries zero, no node in use.
  NodeStore();
  NodeStore(const NodeStore& other);
  NodeStore& operator=(const NodeStore& other);
  // A moved-from store is empty with capacity 0; it grows again on use.
  NodeStore(NodeStore&& other) noexcept;
  NodeStore& operator=(NodeStore&& other) noexcept;
  ~NodeStore();

  std::size_t count() const { return count_; }
  std::size_t capacity() const { return capacity_; }
  // The nodes in use, in curve order; editable in place (dragging). The
  // store owns them: spans and references stay valid until the next
  // parseNodeText or insertNode that grows the store, or until the store is
  // moved from or destroyed.
  std::span<BreakpointNode> nodes() { return {nodes_.get(), count_}; }
  std::span<const BreakpointNode> nodes() const { return {nodes_.get(), count_}; }
  // Entry i, i < capacity(); entries from count() on are not in use (zero
  // in a new store, stale after removeNode).
  BreakpointNode& operator[](std::size_t i) { return nodes_[i]; }
  const BreakpointNode& operator[](std::size_t i) const { return nodes_[i]; }
  // The value published on "# Points".
  float pointCount() const { return static_cast<float>(count_); }

  // Replaces the nodes with those of a node-list text (the init config text
  // when `text` is empty); true when the whole text was consumed. The order
  // of the text is kept. On `false` the nodes read so far stay.
  bool parseNodeText(std::string_view text, std::string_view initConfig);
  // The node-list text: "(%3.5f,%3.5f)" per node, in curve units.
  std::string formatNodeText() const;
  // The X and Y axis array texts: "%f" per number, trimmed, then ",".
  AxisArrays formatAxisArrays() const;
  // Inserts a node (graph units) before the first node whose X is equal or
  // greater; when the store is full its capacity grows by 40.
  void insertNode(float gx, float gy);
  // Removes the node at `index`; the capacity stays. False, and nothing
  // changes, when there is no such node.
  bool removeNode(std::size_t index);

 private:
  // Makes room for at least `wanted` entries, growing in steps of 40.
  // Keeps the nodes in use.
  void reserveInSteps(std::size_t wanted);

  std::unique_ptr<BreakpointNode[]> nodes_;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
};

// The node-list text made of two axis array texts: "(x,y)" for each pair of
// numbers, copied as they stand. A last number without a following "," is
// dropped, and so are the numbers of the longer text beyond the shorter.
std::string joinAxisArrays(std::string_view xText, std::string_view yText);

// Shortens a number formatted with "%f": trailing zeros go (never the first
// character), then a "." left at the end. "12.500000" -> "12.5",
// "100.000000" -> "100", "0.000000" -> "0".
std::string trimNumber(std::string_view formatted);

}  // namespace kurvo
