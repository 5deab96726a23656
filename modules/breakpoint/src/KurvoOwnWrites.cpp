// kurvo::OwnWrites: the editor's own writes of "nodes" and the outputs, and
// which change reports of them are its own (invariant at the class).
#include "breakpoint/KurvoModule.h"

namespace kurvo {

void OwnWrites::write(int pin, const std::string& text) {
  Busy busy(*this);  // a host reporting at once reports from inside the write
  m_editor.GetPin(pin)->SetValueText(text);
}

void OwnWrites::writeNodes(const std::string& text, const std::string& initConfig) {
  m_nodes = NodesRecord{text, initConfig};
  write(kPinNodes, text);
}

void OwnWrites::clearNodes() {
  m_nodes.reset();
  write(kPinNodes, "");
}

void OwnWrites::readNodes(const std::string& text, const std::string& initConfig) {
  m_nodes = NodesRecord{text, initConfig};
}

void OwnWrites::writeOutputs(const AxisArrays& arrays, float count) {
  m_arrays = arrays;
  Busy busy(*this);
  m_editor.GetPin(kPinXArray)->SetValueText(arrays.x);
  m_editor.GetPin(kPinYArray)->SetValueText(arrays.y);
  m_editor.GetPin(kPinCount)->SetValueFloat(count);
}

bool OwnWrites::ownNodesReport(const std::string& text, const std::string& initConfig) const {
  if (m_busy > 0) return true;
  if (!m_nodes || m_nodes->text != text) return false;
  // An empty text stands for the init config: the same text read with
  // another init config gives other nodes.
  return !text.empty() || m_nodes->initConfig == initConfig;
}

bool OwnWrites::ownArraysReport(const std::string& x, const std::string& y) const {
  if (m_busy > 0) return true;
  return m_arrays && m_arrays->x == x && m_arrays->y == y;
}

}  // namespace kurvo
