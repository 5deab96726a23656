// Byteloom, the SysEx tool module: its description and its two objects.
#include "se_sdk2/se_entry.h"
#include "sysex/ByteloomEditor.h"
#include "sysex/ByteloomProcessor.h"

namespace {

const se::ModuleDescription kDescription{
    "Byteloom", "Vantro Byteloom",
    "Byteloom V0.7 beta\nSysEx dumps loaded, edited, saved and sent by the Vantro module team",
    true};

}  // namespace

SE_DECLARE_MODULE_WITH_GUI(ByteloomProcessor, ByteloomEditor, kDescription)
