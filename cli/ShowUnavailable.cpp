// show in a build without GMime, which its renderer needs.

#include "cli/CliCommon.h"

namespace cli {

int RunShow(const std::vector<std::string>&)
{
    Error("show: this build has no message renderer (it was built without GMime); use 'cat'");
    return kExitUsage;
}

} // namespace cli
