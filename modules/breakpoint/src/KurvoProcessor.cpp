// KurvoProcessor: the 19 pins, then sleep for good. The module's
// work is the editor's (KurvoEditor.cpp); this object owns no pin variables.
#include "breakpoint/KurvoModule.h"
#include "se_sdk2/se_entry.h"

namespace {

struct PinRow {
  const char* name;
  int32_t direction;
  int32_t datatype;
  const char* list;  // list text, or null
  int32_t flags;
};

// The pin table, in index order.
constexpr PinRow kPins[kurvo::kPinTotal] = {
    {"nodes", DR_IN, DT_STRING, nullptr, kurvo::kFlagsA},
    {"Horiz Zoom", DR_IN, DT_FLOAT32, nullptr, kurvo::kFlagsA},
    {"Horiz Scroll Offset", DR_IN, DT_FLOAT32, nullptr, kurvo::kFlagsA},
    {"Init Config", DR_IN, DT_STRING, nullptr, kurvo::kFlagsB},
    {"Max Points", DR_IN, DT_FLOAT32, nullptr, kurvo::kFlagsB},
    {"Bkgd RGB", DR_IN, DT_INT32, nullptr, kurvo::kFlagsB},
    {"Scale RGB", DR_IN, DT_INT32, nullptr, kurvo::kFlagsB},
    {"Line RGB", DR_IN, DT_INT32, nullptr, kurvo::kFlagsB},
    {"Node RGB", DR_IN, DT_INT32, nullptr, kurvo::kFlagsB},
    {"X Array Out", DR_OUT, DT_STRING, nullptr, kurvo::kFlagsB},
    {"Y Array Out", DR_OUT, DT_STRING, nullptr, kurvo::kFlagsB},
    {"# Points", DR_OUT, DT_FLOAT32, nullptr, kurvo::kFlagsB},
    {"Lock # of Nodes", DR_SETTING, DT_SWITCH, nullptr, kurvo::kFlagsB},
    {"Lock Scroll & Zoom", DR_SETTING, DT_SWITCH, nullptr, kurvo::kFlagsB},
    {"Hide Scale", DR_SETTING, DT_SWITCH, nullptr, kurvo::kFlagsB},
    {"Scale Padding", DR_SETTING, DT_CHOICE, "range: 0,30", kurvo::kFlagsB},
    {"Line Width", DR_SETTING, DT_CHOICE, "1,2,3,4", kurvo::kFlagsB},
    {"Freeze Points", DR_SETTING, DT_CHOICE, "None,First,Last,Last-Y,First & Last,First & Last-Y",
     kurvo::kFlagsB},
    {"Solid Nodes", DR_SETTING, DT_SWITCH, nullptr, kurvo::kFlagsB},
};

const se::ModuleDescription kDescription{
    "Kurvo", "Kurvo 1.0.2+",
    "Kurvo module v1.0.2 \n"
    "Breakpoint curve input by Ostrel (ostrel.modules@example.org)\n"
    "Click twice on a spot to add a node, twice on a node to remove it; drag nodes,\n"
    "drag empty space to scroll (with Shift: zoom), Shift-click to fit, Ctrl+Shift-click to "
    "reset.\n"
    "Free to use, without warranty of any kind.",
    true};

}  // namespace

void KurvoProcessor::Open() {
  SetProcessFunction(&KurvoProcessor::SleepProcess);
  SEModule_base::Open();
}

bool KurvoProcessor::GetPinProperties(int index, SEPinProperties* properties) {
  if (index < 0 || index >= kurvo::kPinTotal || !properties) return false;
  const PinRow& row = kPins[index];
  properties->name = row.name;
  properties->direction = row.direction;
  properties->datatype = row.datatype;
  properties->datatype_extra = row.list;
  properties->flags = row.flags;
  return true;
}

SE_DECLARE_MODULE_WITH_GUI(KurvoProcessor, KurvoEditor, kDescription)
