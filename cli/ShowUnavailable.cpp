// show and attachments in a build without GMime, which their reading of
// messages needs.

#include "cli/CliCommon.h"

namespace cli {

int RunShow(const std::vector<std::string>&)
{
    Error("show: this build has no message renderer (it was built without GMime); use 'cat'");
    return kExitUsage;
}

int RunAttachments(const std::vector<std::string>&)
{
    Error("attachments: this build has no message reader (it was built without GMime); save the e-mails "
          "and open them in a mail program");
    return kExitUsage;
}

} // namespace cli
