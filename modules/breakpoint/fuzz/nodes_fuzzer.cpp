// libFuzzer target for the node list of Kurvo.
//
// Input: one mode byte, then two texts split at the first NUL byte.
//   mode % 3 == 0: parseNodeText(first, second as init config)
//   mode % 3 == 1: parseNodeText(joinAxisArrays(first, second), default init config)
//   mode % 3 == 2: readCNumber(first) against strtod
// Then every text form is written, read back and compared with the reference
// that follows the rules step by step with strtod and snprintf (the fuzzer
// runs in the "C" locale),
// and an insertion and a removal are checked. Any difference aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "breakpoint/node_store.h"
#include "common/c_numbers.h"
#include "reference_nodes.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "kurvo_nodes_fuzzer: %s\n", what);
    std::abort();
  }
}

void checkNumber(const std::string& text) {
  const double ours = cnum::readCNumber(text);
  const double theirs = std::strtod(text.c_str(), nullptr);
  if (std::isnan(ours) || std::isnan(theirs)) {
    check(std::isnan(ours) && std::isnan(theirs) && std::signbit(ours) == std::signbit(theirs),
          "readCNumber and strtod disagree on a NaN");
  } else {
    check(std::memcmp(&ours, &theirs, sizeof ours) == 0, "readCNumber and strtod disagree");
  }
}

void checkStore(const kurvo::NodeStore& store, std::size_t previousCapacity) {
  // Capacity: what growing by 40 from the previous capacity reaches.
  const std::size_t count = store.count();
  std::size_t capacity = previousCapacity;
  while (capacity < count) capacity += 40;
  check(store.capacity() == capacity, "capacity is not what growth by 40 gives");

  // Each text as the reference writes it, with no limit.
  const std::string text = store.formatNodeText();
  check(text == kurvo_reference::formatNodeText(store.nodes()), "formatNodeText differs");
  const kurvo::AxisArrays arrays = store.formatAxisArrays();
  const kurvo::AxisArrays expected = kurvo_reference::formatAxisArrays(store.nodes());
  check(arrays.x == expected.x && arrays.y == expected.y, "formatAxisArrays differs");

  // Written texts read back completely, every node.
  kurvo::NodeStore back;
  check(back.parseNodeText(text, ""), "a written node-list text does not parse completely");
  check(back.count() == count, "a written node-list text loses nodes");
  const std::string joined = kurvo::joinAxisArrays(arrays.x, arrays.y);
  check(joined == kurvo_reference::joinAxisArrays(arrays.x, arrays.y), "joinAxisArrays differs");
  check(back.parseNodeText(joined, ""), "joined axis arrays do not parse completely");
  check(back.count() == count, "joined axis arrays lose nodes");

  // A second round changes nothing more, for values of the size that every
  // five-decimal text was checked for (tests: RoundTrip); beyond them the
  // float arithmetic of the conversions can move a value by 0.00001 per round.
  bool moderate = true;
  for (const kurvo::BreakpointNode& n : store.nodes()) {
    moderate = moderate && std::fabs(kurvo::curveXFromGraph(n.x)) <= 50.0f &&
               std::fabs(kurvo::nodeTextYFromGraph(n.y)) <= 50.0f;
  }
  if (moderate) {
    kurvo::NodeStore once;
    once.parseNodeText(text, "");
    kurvo::NodeStore twice;
    twice.parseNodeText(once.formatNodeText(), "");
    check(twice.formatNodeText() == once.formatNodeText(), "a written text is not a fixed point");
  }
}

void checkInsertAndRemove(kurvo::NodeStore store, float gx, float gy) {
  const std::size_t count = store.count();
  const std::size_t capacity = store.capacity();
  const std::vector<kurvo::BreakpointNode> before(store.nodes().begin(), store.nodes().end());
  std::size_t at = 0;
  while (at < count && before[at].x < gx) ++at;
  store.insertNode(gx, gy);
  check(store.count() == count + 1, "insertNode does not add one node");
  check(store.capacity() == (count == capacity ? capacity + 40 : capacity),
        "insertNode grows wrongly");
  std::vector<kurvo::BreakpointNode> expected = before;
  expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), {gx, gy});
  check(kurvo_reference::sameNodes(store.nodes(), expected), "insertNode misplaces a node");
  check(store.removeNode(at), "removeNode refuses an existing node");
  check(kurvo_reference::sameNodes(store.nodes(), before), "removeNode does not undo insertNode");
  check(!store.removeNode(store.count()), "removeNode accepts an index past the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 3;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = input.find('\0');
  const std::string first(input.substr(0, split));
  const std::string second(split == std::string_view::npos ? std::string_view()
                                                           : input.substr(split + 1));

  if (mode == 2) {
    checkNumber(first);
    checkNumber(second.c_str());  // up to its first NUL, as strtod sees it
    return 0;
  }

  std::string text = first;
  std::string initConfig = second;
  if (mode == 1) {
    text = kurvo::joinAxisArrays(first, second);
    check(text == kurvo_reference::joinAxisArrays(first, second), "joinAxisArrays differs");
    initConfig = std::string(kurvo::kDefaultInitConfig);
  }

  kurvo::NodeStore store;
  const bool complete = store.parseNodeText(text, initConfig);
  std::vector<kurvo::BreakpointNode> expected;
  const bool expectedComplete = kurvo_reference::parseNodeText(expected, text, initConfig);
  check(complete == expectedComplete, "parseNodeText differs on completeness");
  check(kurvo_reference::sameNodes(store.nodes(), expected), "parseNodeText differs on nodes");
  checkStore(store, kurvo::NodeStore::kInitialCapacity);

  // An insertion and a removal at an X taken from the input.
  const float gx = store.count() ? store[size % store.count()].x : 0.0f;
  checkInsertAndRemove(store, gx, 1.0f);
  checkInsertAndRemove(store, static_cast<float>(size) - 20.0f, -1.0f);
  return 0;
}
