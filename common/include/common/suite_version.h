// The suite's version, one text for every program (from git describe at
// build time; cmake/Version.cmake says how it is formed).
#pragma once

namespace se {

// "0.1.0", "0.1.0+3.g1a2b3c4", "0.1.0~250.g1a2b3c4", with ".dirty" after a
// build from changed sources. Static text.
const char* SuiteVersion();

}  // namespace se
