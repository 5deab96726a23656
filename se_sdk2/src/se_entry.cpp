#include "se_sdk2/se_entry.h"

namespace se {

int describe_module(int index, SEModuleProperties* properties, const ModuleDescription& d) {
  if (!properties) return 0;
#if SE_SDK_REVISION >= 2230
  // Written whatever the index: the host learns the revision even from a
  // query for a module the library does not hold.
  properties->sdk_revision = SE_SDK_REVISION;
#endif
  if (index != 0) return 0;
  properties->name = d.name;
  properties->id = d.id;
  properties->about = d.about;
  if (d.has_gui) properties->flags = 0x80 | 0x100;
#if SE_SDK_REVISION < 2230
  properties->sdk_revision = SE_SDK_REVISION;
#endif
  return 1;
}

}  // namespace se
