#include "common/suite_version.h"

#include "se_version.h"

namespace se {

const char* SuiteVersion() {
  return SE_VERSION_TEXT;
}

}  // namespace se
